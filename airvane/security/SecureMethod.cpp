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

IWLANSecureMethodState::IWLANSecureMethodState() = default;
IWLANSecureMethodState::IWLANSecureMethodState(const IWLANSecureMethodState&) = default;
IWLANSecureMethodState& IWLANSecureMethodState::operator=(const IWLANSecureMethodState&) = default;
IWLANSecureMethodState::~IWLANSecureMethodState() = default;

enWLANSecureMethodUID IWLANSecureMethodState::GetSecureMethodUID() const {
    return WLAN_SECURE_NONE;
}

IWLANSecureMethodState* IWLANSecureMethodState::Clone() const {
    return new (std::nothrow) IWLANSecureMethodState(*this);
}

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
