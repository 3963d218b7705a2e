#pragma once

#include "airvane/Export.h"
#include "airvane/security/SecureMethodState.h"

#include <cstdint>

// Outcome of WEP Plus key renewal, a snapshot of the method's flags.
class AIRVANE_API CWLANWEPPlusSecureMethodState : public IWLANSecureMethodState {
public:
    enum WepPlusState : std::int32_t {
        WEPPLUS_IDLE = 0,      // neither keyed nor indicator
        WEPPLUS_KEYED = 1,     // keyed, no indicator
        WEPPLUS_NOT_KEYED = 2, // indicator set
    };

    CWLANWEPPlusSecureMethodState(int keyed, int indicator);
    CWLANWEPPlusSecureMethodState(const CWLANWEPPlusSecureMethodState& other);
    CWLANWEPPlusSecureMethodState& operator=(const CWLANWEPPlusSecureMethodState& other);
    ~CWLANWEPPlusSecureMethodState() override;

    enWLANSecureMethodUID GetSecureMethodUID() const override;
    IWLANSecureMethodState* Clone() const override;
    WepPlusState GetWepPlusState() const;

protected:
    int m_keyed;
    int m_indicator;
};
