#pragma once

#include "airvane/Export.h"

#include <cstdint>

// What the WEP Plus method asks of an adapter plug-in. Plug-ins derive from it; the
// library exports the constructors and the assignment for that. The six operations come
// first, in this order, and are part of the binary interface; all results except
// GetLabel are non-zero on success.
//
// The virtual destructor comes after the six operations so that their slots keep their
// positions. The library never destroys an adapter through this interface, but a
// plug-in that keeps its adapters polymorphically can then delete them safely.
class AIRVANE_API IWepPlusAdapter {
public:
    IWepPlusAdapter();
    IWepPlusAdapter(const IWepPlusAdapter& other);
    IWepPlusAdapter& operator=(const IWepPlusAdapter& other);

    // Never called by the library.
    virtual int Reserved() = 0;
    // Writes the adapter's 6-byte hardware address; *length is 6 on entry.
    virtual int GetAdapterAddress(std::uint8_t* buffer, std::uint32_t* length) = 0;
    // Writes the peer's 6-byte hardware address.
    virtual int GetPeerAddress(std::uint8_t* buffer, std::uint32_t* length) = 0;
    // Writes a 4-byte indicator; the library only tests it for non-zero.
    virtual int GetIndicator(std::uint8_t* buffer, std::uint32_t* length) = 0;
    // Two counters whose sum is the current count.
    virtual int GetCounters(std::uint32_t* counter1, std::uint32_t* counter2) = 0;
    // Label text; null or empty makes the key store operations fail.
    virtual const char* GetLabel() = 0;

    virtual ~IWepPlusAdapter();
};
