#pragma once

#include "airvane/manager/WLANAdapter.h"
#include "airvane/security/WLANState.h"
#include "plugins/sim/SimWepPlusAdapter.h"
#include "plugins/sim/SimWpaPeer.h"
#include "plugins/sim/adapter/SimErrors.h"
#include "plugins/sim/adapter/SimWorld.h"

#include <cstdint>
#include <string>

class CWLANWPAGenSecureMethod;
class CWLANWEPPlusSecureMethod;

namespace airvane::sim {

// One simulated wireless adapter and the access points it can see.
//
// The link advances by one step on every GetNetworkState call, so a host that polls sees
// the connection progress:
//
//     Connect          checks the profile against the network and starts associating
//     1st poll         status 2 (associating)
//     2nd poll         the access point answers: status 1 (associated), or status 3 with an
//                      error (association refused, wrong WEP key); an access point set to
//                      ignore requests leaves the link associating
//     later polls      WPA-PSK: the supplicant context runs its handshake one state per
//                      poll (a failed handshake drops the link to status 3);
//                      WEP Plus: the key renewal schedule runs (CheckWepPlus)
//
// Link status written to CWLANState::m_status: enWLANLinkStatus. The WPA methods react to
// associated and not associated as the library documents.
//
// The adapter is also the IWepPlusAdapter it hands to the WEP Plus method, and the
// supplicant's view of the access point (ISimWpaPeer, passed as the opaque IWpaAdapter).
class CSimAdapter final : public IWLANAdapter, public ISimWepPlusAdapter, public ISimWpaPeer {
public:
    explicit CSimAdapter(const stSimAdapterConfig& config);
    CSimAdapter(const CSimAdapter&) = delete;
    CSimAdapter& operator=(const CSimAdapter&) = delete;
    // Ends the link (and its supplicant context) if one is up.
    ~CSimAdapter() override;

    // IWLANAdapter
    int IsPreconfigured() override;
    int Preconfigure(IWLANListener* listener) override;
    // Shared slot of IWLANAdapter and IWepPlusAdapter; neither is called by the library.
    // It answers the simulator's signature so the key-renewal module can recognise us.
    int Reserved() override;
    int Select(IWLANListener* listener) override;
    int Unselect(IWLANListener* listener) override;
    int Connect(CWLANProfil& profile, IWLANListener* listener) override;
    int Disconnect(IWLANListener* listener) override;
    int GetNetworkState(CWLANState& state, IWLANListener* listener) override;
    int IsHardwareAvailable() override;
    const char* GetAdapterName() override;
    const char* GetFriendlyName() override;
    std::uint32_t GetSpecifiqueLastError() override;
    en_WLANLastError GetGeneriqueLastError() override;
    int IsSecureMethodSupported(enWLANSecureMethodUID uid, IWLANSecureCapabilities** capabilities) override;
    int GetAdapterInfo(unsigned char* block, std::uint32_t* length) override;

    // IWepPlusAdapter: the adapter's address, the access point's address, the renewal
    // indicator (non-zero while a WEP Plus link waits for a fresh key), frame counters and
    // the label of the key store.
    int GetAdapterAddress(std::uint8_t* buffer, std::uint32_t* length) override;
    int GetPeerAddress(std::uint8_t* buffer, std::uint32_t* length) override;
    int GetIndicator(std::uint8_t* buffer, std::uint32_t* length) override;
    int GetCounters(std::uint32_t* counter1, std::uint32_t* counter2) override;
    const char* GetLabel() override;
    int RenewAccessPointKey(const std::uint8_t* key, std::uint32_t sizeInBit) override;

    // ISimWpaPeer: the access point of the current link.
    const char* GetAccessPointSSID() override;
    const char* GetAccessPointPassphrase() override;
    int GetAccessPointKey(std::uint8_t key[kSimPMKBytes]) override;
    void OnHandshakeResult(enSimHandshakeResult result) override;
    // The pointer the supplicant is handed for this access point.
    IWpaAdapter* AsWpaAdapter() { return ToWpaAdapter(&m_peerLink); }

    bool IsHotPlugged() const { return m_config.hotPlug; }
    // Number of WEP Plus keys the access points accepted (for tests and diagnostics).
    std::uint32_t GetRenewalCount() const { return m_renewals; }

private:
    enum enLink { LINK_IDLE, LINK_ASSOCIATING_STEP, LINK_UP };

    // Runs one operation for the library; an exception (out of memory) becomes result 0
    // with the out-of-memory error.
    template <typename F> int Guarded(F&& operation) noexcept;
    int DoPreconfigure(IWLANListener* listener);
    int DoSelect(IWLANListener* listener);
    int DoUnselect(IWLANListener* listener);
    int DoConnect(CWLANProfil& profile, IWLANListener* listener);
    int DoDisconnect(IWLANListener* listener);
    int DoGetNetworkState(CWLANState& state, IWLANListener* listener);
    int FillAdapterInfo(unsigned char* block, std::uint32_t* length);

    void SetError(en_WLANLastError generic, enSimError specific);
    void ClearError();
    int Fail(en_WLANLastError generic, enSimError specific, IWLANListener* listener, const std::string& what);
    void Trace(IWLANListener* listener, const std::string& text) const;
    const stSimNetwork* FindNetwork(const char* ssid) const;
    stSimNetwork* CurrentNetwork();
    // Checks the profile's secure method against the network and the adapter; on success
    // `method` is the profile's method object. Sets the error and returns 0 otherwise.
    int CheckProfile(CWLANProfil& profile, const stSimNetwork& network, IWLANSecureMethod*& method,
                     IWLANListener* listener);
    bool KeyMatchesAccessPoint() const;
    void StepAssociation(IWLANListener* listener);
    void RunSecurity(CWLANState& state, IWLANListener* listener);
    // Traces the end of a link that is up or being set up, then releases it.
    void EndLink(IWLANListener* listener);
    // Ends the supplicant context and drops the method clone and the link.
    void ReleaseLink();

    stSimAdapterConfig m_config;
    bool m_ready;
    bool m_selected;
    enLink m_link;
    int m_network;                       // index into m_config.networks, -1 without a link
    IWLANSecureMethod* m_method;         // clone of the profile's method, owned; null without a link
    CWLANWPAGenSecureMethod* m_wpa;      // m_method as a WPA method, or null
    CWLANWEPPlusSecureMethod* m_wepPlus; // m_method as a WEP Plus method, or null
    std::uint32_t m_associationPolls;
    bool m_firstRun;
    enSimHandshakeResult m_handshake; // 0 until the supplicant reports
    bool m_handshakeReported;
    bool m_keyAgreed; // a WEP Plus key was agreed on the current link
    std::uint32_t m_renewals;
    std::uint32_t m_framesSent;
    std::uint32_t m_framesReceived;
    en_WLANLastError m_generic;
    enSimError m_specific;
    stSimWpaPeerLink m_peerLink{kSimWpaPeerMark, this};
};

} // namespace airvane::sim
