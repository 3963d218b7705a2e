#pragma once

#include "airvane/Export.h"
#include "airvane/security/SecureMethod.h"

#include <cstdint>

// Static WEP key. The key length is kept in bits exactly as given; the key bytes are the
// first length / 8 bytes of m_key.
class AIRVANE_API CWLANWEPSecureMethod : public IWLANSecureMethod {
public:
    // WEP mode. The library stores and returns it without interpreting it; adapter
    // plug-ins give it its meaning. Any 32-bit value is kept.
    enum enMode : std::int32_t {
        WEP_MODE_AUTO = 0,
        WEP_MODE_OPEN = 1,
        WEP_MODE_SHARED = 2,
    };

    static constexpr std::uint32_t kMaxKeySizeInBit = 256;
    static constexpr std::uint32_t kKeyBytes = 32;

    CWLANWEPSecureMethod();
    CWLANWEPSecureMethod(const CWLANWEPSecureMethod& other);
    CWLANWEPSecureMethod& operator=(const CWLANWEPSecureMethod& other);
    ~CWLANWEPSecureMethod() override;

    enWLANSecureMethodUID GetSecureMethodUID() const override;
    IWLANSecureMethod* Clone() const override;
    IWLANSecureMethodState* BuildSecureMethodState() const override;

    // Copies sizeInBit / 8 bytes of `key` and keeps sizeInBit; 0 (nothing changed) above 256 bits.
    int SetKey(const unsigned char* key, std::uint32_t sizeInBit);
    // Writes GetKeySizeInBit() / 8 bytes to `key`; 0 when `key` is null.
    int GetKey(unsigned char* key) const;
    std::uint32_t GetKeySizeInBit() const;
    void SetMode(enMode mode);
    enMode GetMode() const;

protected:
    std::uint32_t m_keySizeInBit;
    unsigned char m_key[kKeyBytes];
    enMode m_mode;
};
