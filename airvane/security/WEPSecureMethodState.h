#pragma once

#include "airvane/Export.h"
#include "airvane/security/SecureMethodState.h"

// State of a WEP link: carries nothing but its identifier.
class AIRVANE_API CWLANWEPSecureMethodState : public IWLANSecureMethodState {
public:
    CWLANWEPSecureMethodState();
    CWLANWEPSecureMethodState(const CWLANWEPSecureMethodState& other);
    CWLANWEPSecureMethodState& operator=(const CWLANWEPSecureMethodState& other);
    ~CWLANWEPSecureMethodState() override;

    enWLANSecureMethodUID GetSecureMethodUID() const override;
    IWLANSecureMethodState* Clone() const override;
};
