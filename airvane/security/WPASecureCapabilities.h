#pragma once

#include "airvane/Export.h"
#include "airvane/security/SecureCapabilities.h"

#include <cstdint>

// What an adapter plug-in answers to a capability question for the WPA family (identifier 3).
class AIRVANE_API CWLANWPAGenSecureCapabilities : public IWLANSecureCapabilities {
public:
    // Strongest cipher an adapter supports; stored and returned unchanged (any 32-bit value).
    enum enWPACipher : std::int32_t {
        WPA_CIPHER_NONE = 0,
        WPA_CIPHER_WEP = 1,
        WPA_CIPHER_TKIP = 2,
        WPA_CIPHER_CCMP = 3,
    };

    explicit CWLANWPAGenSecureCapabilities(enWPACipher maxCipher);
    CWLANWPAGenSecureCapabilities(const CWLANWPAGenSecureCapabilities& other);
    CWLANWPAGenSecureCapabilities& operator=(const CWLANWPAGenSecureCapabilities& other);
    ~CWLANWPAGenSecureCapabilities() override;

    // Always WLAN_SECURE_WPA.
    enWLANSecureMethodUID GetSecureMethodUID() const override;
    IWLANSecureCapabilities* Clone() const override;
    enWPACipher GetMaxSupportedCipher() const;

protected:
    enWPACipher m_maxCipher;
};
