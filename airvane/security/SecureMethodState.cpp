#include "airvane/security/SecureMethodState.h"

#include <new>

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
