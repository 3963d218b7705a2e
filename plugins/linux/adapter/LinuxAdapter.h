#pragma once

#include "airvane/manager/WLANAdapter.h"
#include "plugins/linux/LinuxWpaPeer.h"
#include "plugins/linux/adapter/DeviceOptions.h"
#include "plugins/linux/adapter/LinuxErrors.h"
#include "plugins/linux/adapter/Nl80211.h"
#include "plugins/linux/ctrl/WpaControl.h"
#include "plugins/linux/ctrl/WpaNetwork.h"

#include <cstdint>
#include <string>
#include <vector>

class CWLANWPAGenSecureMethod;

namespace airvane::linux_wlan {

// One Linux wireless interface, driven through nl80211 (scans, link state) and
// wpa_supplicant's control interface (every connection, whatever its security).
//
// Link status written to CWLANState::m_status: 1 associated (the kernel reports a BSS
// associated with the interface), 2 associating (a connection started by this adapter object
// is under way), 3 not associated.
//
// The connection belongs to wpa_supplicant, not to this process: it stays up when the host
// ends, and a later `Disconnect` (in any process) removes the networks Airvane added.
class CLinuxAdapter final : public IWLANAdapter, public ILinuxWpaPeer {
public:
    explicit CLinuxAdapter(const stDeviceOptions& options);
    CLinuxAdapter(const CLinuxAdapter&) = delete;
    CLinuxAdapter& operator=(const CLinuxAdapter&) = delete;
    ~CLinuxAdapter();

    // IWLANAdapter
    int IsPreconfigured() override;
    int Preconfigure(IWLANListener* listener) override;
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

    // ILinuxWpaPeer
    const char* GetInterfaceName() override;
    const char* GetControlDir() override;
    void OnHandshakeFailed() override;

    // Whether this adapter serves the interface: its registry name is the interface's name.
    bool Serves(const std::string& interfaceName) const { return m_name == interfaceName; }

private:
    template <typename F> int Guarded(F&& operation) noexcept;
    int DoConnect(CWLANProfil& profile, IWLANListener* listener);
    // 1 when the network is in range and its elements accept the profile's method.
    int CheckNetworkFits(const std::string& ssid, enWLANSecureMethodUID uid, IWLANListener* listener);
    // Hands the network to wpa_supplicant: through the WPA method, or as `fields`.
    int StartLink(IWLANSecureMethod& method, const std::string& ssid,
                  const std::vector<stNetworkField>& fields, IWLANListener* listener);
    int DoDisconnect(IWLANListener* listener);
    int DoGetNetworkState(CWLANState& state, IWLANListener* listener);

    // Looks the interface up again (name, address, presence); false when absent.
    bool Refresh();
    bool RadioBlocked() const;
    // Fresh scan results: a scan (retried once when it finds nothing), then the results.
    bool ScanNow(std::vector<stScanEntry>& entries);
    bool OpenControl();
    void RemoveTaggedNetworks();
    // Ends the link this object started, if any.
    void ReleaseLink();
    // Security state reported by wpa_supplicant for a link set up by another process.
    void ReadForeignSecurity(CWLANState& state);

    void SetError(en_WLANLastError generic, enLinuxError specific);
    int Fail(en_WLANLastError generic, enLinuxError specific, IWLANListener* listener,
             const std::string& detail = std::string());
    void Trace(IWLANListener* listener, const std::string& text) const;

    stDeviceOptions m_options;
    CNl80211 m_nl;
    stWirelessInterface m_interface; // as last looked up
    bool m_found;
    std::string m_name;         // registry name: the interface's name
    std::string m_friendlyName; // driver and hardware address
    bool m_selected;
    bool m_scanned; // a scan ran since selection, or a connection was started
    CWpaControl m_control;
    IWLANSecureMethod* m_method;    // clone of the connecting profile's method, owned
    CWLANWPAGenSecureMethod* m_wpa; // m_method as a WPA method, or null
    int m_network;                  // network this object added for open and WEP links, or -1
    bool m_firstRun;
    bool m_handshakeFailed;
    en_WLANLastError m_generic;
    enLinuxError m_specific;
    stLinuxWpaPeerLink m_peerLink{kLinuxWpaPeerMark, this}; // handed to the supplicant
};

} // namespace airvane::linux_wlan
