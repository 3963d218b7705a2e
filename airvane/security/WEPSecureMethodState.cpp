#include "airvane/security/WEPSecureMethodState.h"

#include <new>

CWLANWEPSecureMethodState::CWLANWEPSecureMethodState() = default;
CWLANWEPSecureMethodState::CWLANWEPSecureMethodState(const CWLANWEPSecureMethodState&) = default;
CWLANWEPSecureMethodState& CWLANWEPSecureMethodState::operator=(const CWLANWEPSecureMethodState&) = default;
CWLANWEPSecureMethodState::~CWLANWEPSecureMethodState() = default;

enWLANSecureMethodUID CWLANWEPSecureMethodState::GetSecureMethodUID() const {
    return WLAN_SECURE_WEP;
}

IWLANSecureMethodState* CWLANWEPSecureMethodState::Clone() const {
    return new (std::nothrow) CWLANWEPSecureMethodState(*this);
}
