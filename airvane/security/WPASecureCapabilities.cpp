#include "airvane/security/WPASecureCapabilities.h"

#include <new>

CWLANWPAGenSecureCapabilities::CWLANWPAGenSecureCapabilities(enWPACipher maxCipher)
    : m_maxCipher(maxCipher) {}

CWLANWPAGenSecureCapabilities::CWLANWPAGenSecureCapabilities(const CWLANWPAGenSecureCapabilities&) = default;
CWLANWPAGenSecureCapabilities&
CWLANWPAGenSecureCapabilities::operator=(const CWLANWPAGenSecureCapabilities&) = default;
CWLANWPAGenSecureCapabilities::~CWLANWPAGenSecureCapabilities() = default;

enWLANSecureMethodUID CWLANWPAGenSecureCapabilities::GetSecureMethodUID() const {
    return WLAN_SECURE_WPA;
}

IWLANSecureCapabilities* CWLANWPAGenSecureCapabilities::Clone() const {
    return new (std::nothrow) CWLANWPAGenSecureCapabilities(*this);
}

CWLANWPAGenSecureCapabilities::enWPACipher CWLANWPAGenSecureCapabilities::GetMaxSupportedCipher() const {
    return m_maxCipher;
}
