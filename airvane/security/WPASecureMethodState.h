#pragma once

#include "airvane/Export.h"
#include "airvane/security/SecureMethodState.h"

#include <cstdint>

// State of a WPA link as the supplicant context reports it.
class AIRVANE_API CWLANWPAGenSecureMethodState : public IWLANSecureMethodState {
public:
    // States 1 to 6 are the supplicant context's own report, kept unchanged; 0 stands for
    // any other report. The names follow the usual progression of a key handshake, but
    // the library does not interpret them.
    enum WpaGenState : std::int32_t {
        WPA_STATE_UNKNOWN = 0,
        WPA_STATE_DISCONNECTED = 1,
        WPA_STATE_SCANNING = 2,
        WPA_STATE_ASSOCIATING = 3,
        WPA_STATE_PAIRWISE_HANDSHAKE = 4,
        WPA_STATE_GROUP_HANDSHAKE = 5,
        WPA_STATE_COMPLETED = 6,
    };

    CWLANWPAGenSecureMethodState(enWLANSecureMethodUID uid, WpaGenState state);
    CWLANWPAGenSecureMethodState(const CWLANWPAGenSecureMethodState& other);
    CWLANWPAGenSecureMethodState& operator=(const CWLANWPAGenSecureMethodState& other);
    ~CWLANWPAGenSecureMethodState() override;

    enWLANSecureMethodUID GetSecureMethodUID() const override;
    IWLANSecureMethodState* Clone() const override;
    WpaGenState GetWpaState() const;

protected:
    WpaGenState m_wpaState;
    enWLANSecureMethodUID m_uid;
};
