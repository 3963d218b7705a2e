#include "airvane/security/SecureCapabilities.h"

#include <new>

IWLANSecureCapabilities::IWLANSecureCapabilities() = default;
IWLANSecureCapabilities::IWLANSecureCapabilities(const IWLANSecureCapabilities&) = default;
IWLANSecureCapabilities& IWLANSecureCapabilities::operator=(const IWLANSecureCapabilities&) = default;
IWLANSecureCapabilities::~IWLANSecureCapabilities() = default;

enWLANSecureMethodUID IWLANSecureCapabilities::GetSecureMethodUID() const {
    return WLAN_SECURE_NONE;
}

IWLANSecureCapabilities* IWLANSecureCapabilities::Clone() const {
    return new (std::nothrow) IWLANSecureCapabilities(*this);
}
