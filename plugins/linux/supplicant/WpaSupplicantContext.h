#pragma once

#include "airvane/security/WPAStubContext.h"
#include "plugins/linux/LinuxWpaPeer.h"
#include "plugins/linux/ctrl/WpaControl.h"

#include <cstdint>

namespace airvane::linux_wlan {

// Supplicant context over a running wpa_supplicant. Loading adds the network of the block
// (tagged as Airvane's) and selects it; wpa_supplicant then runs scanning, association and
// the handshakes on its own, so the library's commands need no action here.
//
// Run reads STATUS and the control events: its state is wpa_state mapped to 1..6 (see
// MapWpaState), 1 while another network is current. A WRONG_KEY event for our network
// disables it (so wpa_supplicant stops retrying), tells the peer, and fixes the state at 1.
// Freeing removes the network it added and nothing else.
class CWpaSupplicantContext final : public IWPAStubContext {
public:
    // Null when the block is malformed, the peer is null, the control socket cannot be
    // reached or wpa_supplicant refuses the network; the reason goes to standard error.
    static CWpaSupplicantContext* Create(const char* networkBlock, ILinuxWpaPeer* peer) noexcept;

    CWpaSupplicantContext(const CWpaSupplicantContext&) = delete;
    CWpaSupplicantContext& operator=(const CWpaSupplicantContext&) = delete;
    ~CWpaSupplicantContext();

    void Reserved1() override {}
    void Reserved2() override {}
    void Reserved3() override {}
    void Reserved4() override {}
    void Command(std::int32_t command) override;
    std::int32_t GetState() override;
    void Run() override;

private:
    explicit CWpaSupplicantContext(ILinuxWpaPeer* peer);
    void ReadStatus();

    ILinuxWpaPeer* m_peer;
    CWpaControl m_control; // requests
    CWpaControl m_events;  // attached for event messages
    int m_network;
    std::int32_t m_state;
    bool m_rejected;
};

} // namespace airvane::linux_wlan
