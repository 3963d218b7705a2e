#pragma once

// Private contract between the simulated adapter plug-in and the simulated key-renewal
// module (WepPlusInventel.dll). The library calls RunWepPlus with the IWepPlusAdapter that
// the plug-in handed to CheckWepPlus; the simulated adapter derives that interface through
// ISimWepPlusAdapter, which adds the access point side of the key exchange.

#include "airvane/security/WepPlusAdapter.h"

#include <cstdint>

namespace airvane::sim {

// What a simulated adapter's Reserved operation returns. The library never calls that slot,
// so the key-renewal module uses it to recognise the simulator's adapters before treating
// an IWepPlusAdapter as an ISimWepPlusAdapter; any other adapter is refused.
constexpr int kSimWepPlusSignature = 0x53695750; // "SiWP"

class ISimWepPlusAdapter : public IWepPlusAdapter {
public:
    // Proposes a new WEP key to the access point of the current link; 1 when the access
    // point accepted it and uses it from now on, 0 when it refused or there is no link.
    virtual int RenewAccessPointKey(const std::uint8_t* key, std::uint32_t sizeInBit) = 0;

protected:
    ISimWepPlusAdapter() = default;
    ISimWepPlusAdapter(const ISimWepPlusAdapter&) = default;
    ISimWepPlusAdapter& operator=(const ISimWepPlusAdapter&) = default;
};

// The simulator's adapter behind `adapter`, or null when it is another plug-in's.
inline ISimWepPlusAdapter* AsSimWepPlusAdapter(IWepPlusAdapter* adapter) {
    if (adapter == nullptr || adapter->Reserved() != kSimWepPlusSignature) {
        return nullptr;
    }
    return static_cast<ISimWepPlusAdapter*>(adapter);
}

} // namespace airvane::sim
