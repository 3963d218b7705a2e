#pragma once

#include "airvane/Export.h"
#include "airvane/security/WEPSecureMethod.h"
#include "airvane/security/WepPlusAdapter.h"

#include <cstdint>
#include <string>

class CWLANWEPPlusSecureMethod;

// Key renewal routine of the vendor module, exported with C linkage; non-zero when it
// established a key.
using RunWepPlusFn = int (*)(CWLANWEPPlusSecureMethod* method, IWepPlusAdapter* adapter);

// WEP whose key is renewed while the link runs: schedules the vendor's renewal routine and
// keeps link keys and generated keys in the registry under a configurable key path.
class AIRVANE_API CWLANWEPPlusSecureMethod : public CWLANWEPSecureMethod {
public:
    // Unit of the renewal period. Any non-zero value counts as INTERVAL_COUNTER.
    enum enIntervalType : std::int32_t {
        INTERVAL_TIME = 0,    // milliseconds of the tick count
        INTERVAL_COUNTER = 1, // sum of the adapter's two counters
    };

    static constexpr std::uint32_t kMinPeriod = 1000;
    static constexpr std::uint32_t kDefaultPeriod = 10000;

    CWLANWEPPlusSecureMethod();
    CWLANWEPPlusSecureMethod(const CWLANWEPPlusSecureMethod& other);
    CWLANWEPPlusSecureMethod& operator=(const CWLANWEPPlusSecureMethod& other);
    ~CWLANWEPPlusSecureMethod() override;

    enWLANSecureMethodUID GetSecureMethodUID() const override;
    IWLANSecureMethod* Clone() const override;
    // New CWLANWEPPlusSecureMethodState with the current keyed and indicator flags.
    IWLANSecureMethodState* BuildSecureMethodState() const override;

    void SetWepPlusKeyPath(const char* keyPath);
    void SetPairing(int pairing);
    // Stores the type and the period, raised to 1000 when smaller.
    void SetPeriodType(enIntervalType type, std::uint32_t period);
    // Back to not keyed, with a clear mark and indicator; settings and pairing stay.
    void resetWepPlus();

    // 1 when the hardware identifier belongs to a WEP Plus device (case-insensitive).
    static int IsWepPlusAdapter(const char* hardwareId);
    // Runs the renewal schedule with the adapter.
    void CheckWepPlus(IWepPlusAdapter* adapter);

    // Link key of the current peer. `size` is the buffer capacity on entry and the text
    // length + 1 on return (the size needed when the buffer is too small).
    int GetLinkKey(IWepPlusAdapter* adapter, char* buffer, std::uint32_t& size);
    // Stores the link key of the current peer. Pairing ends when it is stored and is on again
    // when the store fails (GetLinkKey and GetLastGeneratedKey then return 0); when an address
    // cannot be read nothing is stored and pairing stays as it was.
    int SetLinkKey(IWepPlusAdapter* adapter, const char* linkKey);
    // Stores sizeInBit / 8 key bytes as the adapter's last generated key.
    int SetLastGeneratedKey(IWepPlusAdapter* adapter, const unsigned char* key, std::uint32_t sizeInBit);
    // Reads the last generated key; `size` is the capacity in bytes on entry. Once the read is
    // made, `size` is the byte count it reports times 8 (bits, in 32-bit arithmetic), whether
    // the read succeeded or not; before that (pairing on, no label, no address) it is untouched.
    int GetLastGeneratedKey(IWepPlusAdapter* adapter, unsigned char* buffer, std::uint32_t& size);

    // Read access for plug-ins and the vendor routine.
    const char* GetWepPlusKeyPath() const;
    int GetPairing() const;
    enIntervalType GetPeriodType() const;
    std::uint32_t GetPeriod() const;
    std::uint32_t GetMark() const;

    // Ticks (or counts) from `mark` to `current`. When the value wrapped (current < mark)
    // the result is one less than the modular difference.
    static std::uint32_t ElapsedSince(std::uint32_t mark, std::uint32_t current);

protected:
    std::uint32_t m_mark;
    int m_keyed;
    int m_indicator;
    int m_pairing;
    std::string m_keyPath;
    enIntervalType m_periodType;
    std::uint32_t m_period;

private:
    // Current tick count or counter sum; `fallback` when the counters cannot be read.
    std::uint32_t CurrentMark(IWepPlusAdapter* adapter, std::uint32_t fallback) const;
};
