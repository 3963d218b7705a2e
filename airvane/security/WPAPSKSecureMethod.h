#pragma once

#include "airvane/Export.h"
#include "airvane/security/WPASecureMethod.h"

#include <cstdint>
#include <string>

// WPA with a pre-shared key or a pass phrase (never both), identifier 4.
class AIRVANE_API CWLANWPAPSKSecureMethod : public CWLANWPAGenSecureMethod {
public:
    static constexpr std::uint32_t kMaxKeySizeInBit = 256;
    static constexpr std::uint32_t kKeyBytes = 32;

    CWLANWPAPSKSecureMethod();
    CWLANWPAPSKSecureMethod(const CWLANWPAPSKSecureMethod& other);
    CWLANWPAPSKSecureMethod& operator=(const CWLANWPAPSKSecureMethod& other);
    ~CWLANWPAPSKSecureMethod() override;

    IWLANSecureMethod* Clone() const override;
    // The network block handed to the supplicant module is a fixed template whose "%SSID%" is
    // replaced by `ssid`, then whose "%PSK%" is replaced by the key in hexadecimal (or by the
    // pass phrase in double quotes). Nothing is escaped, and each replacement scans the whole
    // block: an SSID holding "%PSK%" receives the key or pass phrase too.
    int WPALoadContext(const CWLANState& state, const char* ssid, IWpaAdapter* adapter) override;

    // Stores a key (clears the pass phrase); 0 and nothing changed above 256 bits.
    int SetKey(const unsigned char* key, std::uint32_t sizeInBit);
    // 0 when `key` is null or no key is set; otherwise writes length / 8 bytes.
    int GetKey(unsigned char* key) const;
    std::uint32_t GetKeySizeInBit() const;
    // Stores a pass phrase (clears the key); 0 and nothing changed for null or empty text.
    int SetPassword(const char* password);
    // Receives the pass phrase; 1 when it is not empty.
    int GetPassword(std::string& password) const;

protected:
    std::uint32_t m_keySizeInBit;
    unsigned char m_key[kKeyBytes];
    std::string m_password;

private:
    void WipeSecrets();
};
