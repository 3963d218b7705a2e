#include "airvane/security/WPASecureMethodState.h"

#include <new>

CWLANWPAGenSecureMethodState::CWLANWPAGenSecureMethodState(enWLANSecureMethodUID uid, WpaGenState state)
    : m_wpaState(state), m_uid(uid) {}

CWLANWPAGenSecureMethodState::CWLANWPAGenSecureMethodState(const CWLANWPAGenSecureMethodState&) = default;
CWLANWPAGenSecureMethodState&
CWLANWPAGenSecureMethodState::operator=(const CWLANWPAGenSecureMethodState&) = default;
CWLANWPAGenSecureMethodState::~CWLANWPAGenSecureMethodState() = default;

enWLANSecureMethodUID CWLANWPAGenSecureMethodState::GetSecureMethodUID() const {
    return m_uid;
}

IWLANSecureMethodState* CWLANWPAGenSecureMethodState::Clone() const {
    return new (std::nothrow) CWLANWPAGenSecureMethodState(*this);
}

CWLANWPAGenSecureMethodState::WpaGenState CWLANWPAGenSecureMethodState::GetWpaState() const {
    return m_wpaState;
}
