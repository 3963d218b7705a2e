#include "airvane/security/SecureMethod.h"

#include <new>

IWLANSecureMethod::IWLANSecureMethod() = default;
IWLANSecureMethod::IWLANSecureMethod(const IWLANSecureMethod&) = default;
IWLANSecureMethod& IWLANSecureMethod::operator=(const IWLANSecureMethod&) = default;
IWLANSecureMethod::~IWLANSecureMethod() = default;

enWLANSecureMethodUID IWLANSecureMethod::GetSecureMethodUID() const {
    return WLAN_SECURE_NONE;
}

IWLANSecureMethod* IWLANSecureMethod::Clone() const {
    return new (std::nothrow) IWLANSecureMethod(*this);
}

IWLANSecureMethodState* IWLANSecureMethod::BuildSecureMethodState() const {
    // "No security" has no state object.
    return nullptr;
}
