#include "airvane/security/WEPPlusSecureMethodState.h"

#include <new>

CWLANWEPPlusSecureMethodState::CWLANWEPPlusSecureMethodState(int keyed, int indicator)
    : m_keyed(keyed), m_indicator(indicator) {}

CWLANWEPPlusSecureMethodState::CWLANWEPPlusSecureMethodState(const CWLANWEPPlusSecureMethodState&) = default;
CWLANWEPPlusSecureMethodState&
CWLANWEPPlusSecureMethodState::operator=(const CWLANWEPPlusSecureMethodState&) = default;
CWLANWEPPlusSecureMethodState::~CWLANWEPPlusSecureMethodState() = default;

enWLANSecureMethodUID CWLANWEPPlusSecureMethodState::GetSecureMethodUID() const {
    return WLAN_SECURE_WEPPLUS;
}

IWLANSecureMethodState* CWLANWEPPlusSecureMethodState::Clone() const {
    return new (std::nothrow) CWLANWEPPlusSecureMethodState(*this);
}

CWLANWEPPlusSecureMethodState::WepPlusState CWLANWEPPlusSecureMethodState::GetWepPlusState() const {
    if (m_indicator != 0) {
        return WEPPLUS_NOT_KEYED;
    }
    return m_keyed != 0 ? WEPPLUS_KEYED : WEPPLUS_IDLE;
}
