#include "plugins/linux/adapter/LinuxAdapter.h"

#include "plugins/linux/adapter/NetworkSecurity.h"
#include "plugins/linux/ctrl/WpaNetwork.h"

#include "airvane/Hex.h"
#include "airvane/security/SecureWipe.h"
#include "airvane/security/WEPSecureMethod.h"
#include "airvane/security/WEPSecureMethodState.h"
#include "airvane/security/WLANProfil.h"
#include "airvane/security/WLANState.h"
#include "airvane/security/WPASecureCapabilities.h"
#include "airvane/security/WPASecureMethod.h"
#include "airvane/security/WPASecureMethodState.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <fstream>
#include <new>

namespace airvane::linux_wlan {

namespace {

constexpr const char kTracePrefix[] = "Linux adapter ";
constexpr const char kSysNet[] = "/sys/class/net/";
constexpr int kScanTimeoutMs = 10000;
constexpr int kScanAttempts = 2;
constexpr std::size_t kMaxSSIDBytes = 32;
constexpr std::size_t kMaxNetworks = 32;
constexpr std::size_t kSSIDSlotBytes = 256;

// Name of the kernel driver behind an interface, or "" when sysfs does not say.
std::string DriverName(const std::string& interfaceName) {
    char target[256] = {};
    const std::string link = kSysNet + interfaceName + "/device/driver";
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) {
        return std::string();
    }
    const std::string path(target, static_cast<std::size_t>(length));
    return path.substr(path.rfind('/') + 1);
}

bool ReadsOne(const std::string& path) {
    std::ifstream file(path);
    char value = '0';
    return file.get(value) && value == '1';
}

const stScanEntry* FindBySSID(const std::vector<stScanEntry>& entries, const std::string& ssid) {
    const stScanEntry* best = nullptr;
    for (const stScanEntry& entry : entries) {
        if (entry.ssid == ssid && (best == nullptr || entry.signalMbm > best->signalMbm)) {
            best = &entry;
        }
    }
    return best;
}

// The error for a profile whose method does not fit the network, or LINUX_ERROR_NONE.
enLinuxError SecurityMismatch(enWLANSecureMethodUID uid, enNetworkSecurity network) {
    if (network == NETWORK_WPA_8021X) {
        return LINUX_ERROR_NETWORK_REQUIRES_8021X;
    }
    const enNetworkSecurity wanted = uid == WLAN_SECURE_WEP      ? NETWORK_WEP
                                     : uid == WLAN_SECURE_WPAPSK ? NETWORK_WPA_PSK
                                                                 : NETWORK_OPEN;
    if (wanted == network) {
        return LINUX_ERROR_NONE;
    }
    switch (network) {
    case NETWORK_WEP:
        return LINUX_ERROR_NETWORK_REQUIRES_WEP;
    case NETWORK_WPA_PSK:
        return LINUX_ERROR_NETWORK_REQUIRES_WPA_PSK;
    default:
        return LINUX_ERROR_NETWORK_IS_OPEN;
    }
}

} // namespace

CLinuxAdapter::CLinuxAdapter(const stDeviceOptions& options)
    : m_options(options), m_found(false),
      m_name(!options.interfaceName.empty() ? options.interfaceName : FormatAddress(options.address)),
      m_friendlyName("Wi-Fi interface " + m_name), m_selected(false), m_scanned(false), m_method(nullptr),
      m_wpa(nullptr), m_network(-1), m_firstRun(false), m_handshakeFailed(false), m_generic(WLAN_ERROR_NONE),
      m_specific(LINUX_ERROR_NONE) {
    Refresh();
}

CLinuxAdapter::~CLinuxAdapter() {
    try {
        ReleaseLink();
    } catch (const std::exception&) {
        // Out of memory: wpa_supplicant keeps the (tagged) network; the next connection removes it.
    }
}

template <typename F> int CLinuxAdapter::Guarded(F&& operation) noexcept {
    // No exception may cross back into the library.
    try {
        return operation();
    } catch (const std::exception&) {
        SetError(WLAN_ERROR_OUT_OF_MEMORY, LINUX_ERROR_OUT_OF_MEMORY);
        return 0;
    }
}

void CLinuxAdapter::SetError(en_WLANLastError generic, enLinuxError specific) {
    m_generic = generic;
    m_specific = specific;
}

int CLinuxAdapter::Fail(en_WLANLastError generic, enLinuxError specific, IWLANListener* listener,
                        const std::string& detail) {
    SetError(generic, specific);
    Trace(listener, std::string(LinuxErrorText(specific)) + (detail.empty() ? "" : ": " + detail));
    return 0;
}

void CLinuxAdapter::Trace(IWLANListener* listener, const std::string& text) const {
    if (listener != nullptr) {
        const std::string line = kTracePrefix + m_name + ": " + text;
        listener->Trace(line.c_str());
    }
}

bool CLinuxAdapter::Refresh() {
    const std::vector<stWirelessInterface> interfaces = m_nl.ListInterfaces();
    m_found = false;
    for (const stWirelessInterface& candidate : interfaces) {
        if ((m_options.interfaceName.empty() || candidate.name == m_options.interfaceName) &&
            (!m_options.hasAddress || std::memcmp(candidate.address, m_options.address, 6) == 0)) {
            m_interface = candidate;
            m_found = true;
            break;
        }
    }
    if (!m_found) {
        SetError(WLAN_ERROR_HARDWARE_UNAVAILABLE, m_nl.LastFailure() == NL_FAILURE_NO_FAMILY
                                                      ? LINUX_ERROR_NO_NL80211
                                                      : LINUX_ERROR_INTERFACE_ABSENT);
        return false;
    }
    m_name = m_interface.name;
    const std::string driver = DriverName(m_name);
    m_friendlyName = "Wi-Fi " + (driver.empty() ? std::string("nl80211") : driver) + " " +
                     FormatAddress(m_interface.address);
    return true;
}

bool CLinuxAdapter::RadioBlocked() const {
    const std::string phy = kSysNet + m_interface.name + "/phy80211/";
    DIR* folder = ::opendir(phy.c_str());
    if (folder == nullptr) {
        return false;
    }
    bool blocked = false;
    while (const dirent* entry = ::readdir(folder)) {
        if (std::strncmp(entry->d_name, "rfkill", 6) == 0) {
            const std::string base = phy + entry->d_name;
            blocked = blocked || ReadsOne(base + "/soft") || ReadsOne(base + "/hard");
        }
    }
    ::closedir(folder);
    return blocked;
}

int CLinuxAdapter::IsPreconfigured() {
    return 1;
}

int CLinuxAdapter::Preconfigure(IWLANListener*) {
    return 1;
}

int CLinuxAdapter::IsHardwareAvailable() {
    return Guarded([&] {
        if (!Refresh()) {
            return 0;
        }
        if (RadioBlocked()) {
            SetError(WLAN_ERROR_HARDWARE_UNAVAILABLE, LINUX_ERROR_RFKILL_BLOCKED);
            return 0;
        }
        return 1;
    });
}

int CLinuxAdapter::Select(IWLANListener* listener) {
    return Guarded([&] {
        SetError(WLAN_ERROR_NONE, LINUX_ERROR_NONE);
        if (!Refresh()) {
            return Fail(m_generic, m_specific, listener);
        }
        m_selected = true;
        m_scanned = false;
        return 1;
    });
}

int CLinuxAdapter::Unselect(IWLANListener*) {
    // The link, if any, belongs to wpa_supplicant and stays up.
    m_selected = false;
    return 1;
}

bool CLinuxAdapter::ScanNow(std::vector<stScanEntry>& entries) {
    bool scanned = false;
    for (int attempt = 0; attempt < kScanAttempts; ++attempt) {
        if (!m_nl.Scan(m_interface.index, kScanTimeoutMs)) {
            const enNlFailure failure = m_nl.LastFailure();
            if (failure == NL_FAILURE_PERMISSION || failure == NL_FAILURE_NO_INTERFACE) {
                break;
            }
            continue;
        }
        scanned = true;
        if (m_nl.ScanResults(m_interface.index, entries) && !entries.empty()) {
            return true;
        }
    }
    if (!scanned) {
        SetError(WLAN_ERROR_DRIVER, m_nl.LastFailure() == NL_FAILURE_PERMISSION ? LINUX_ERROR_PERMISSION
                                                                                : LINUX_ERROR_SCAN_FAILED);
    }
    return scanned;
}

bool CLinuxAdapter::OpenControl() {
    std::string error;
    return m_control.IsOpen() || m_control.Open(m_options.controlDir, m_interface.name, error);
}

void CLinuxAdapter::RemoveTaggedNetworks() {
    for (const int id : TaggedNetworks(m_control)) {
        RemoveNetwork(m_control, id);
    }
}

int CLinuxAdapter::Connect(CWLANProfil& profile, IWLANListener* listener) {
    return Guarded([&] { return DoConnect(profile, listener); });
}

int CLinuxAdapter::DoConnect(CWLANProfil& profile, IWLANListener* listener) {
    SetError(WLAN_ERROR_NONE, LINUX_ERROR_NONE);
    if (!m_selected) {
        return Fail(WLAN_ERROR_NOT_SELECTED, LINUX_ERROR_NOT_SELECTED, listener);
    }
    if (!Refresh()) {
        return Fail(m_generic, m_specific, listener);
    }
    ReleaseLink();
    const std::string ssid = profile.GetSSID() != nullptr ? profile.GetSSID() : "";
    IWLANSecureMethod* method = profile.GetSecureMethodIF();
    if (ssid.empty() || ssid.size() > kMaxSSIDBytes || method == nullptr) {
        return Fail(WLAN_ERROR_INVALID_PROFILE, LINUX_ERROR_INVALID_PROFILE, listener);
    }
    const enWLANSecureMethodUID uid = method->GetSecureMethodUID();
    if (uid != WLAN_SECURE_NONE && uid != WLAN_SECURE_WEP && uid != WLAN_SECURE_WPAPSK) {
        return Fail(WLAN_ERROR_SECURE_METHOD_UNSUPPORTED, LINUX_ERROR_METHOD_UNSUPPORTED, listener);
    }

    if (CheckNetworkFits(ssid, uid, listener) == 0) {
        return 0;
    }

    std::vector<stNetworkField> fields = {{"ssid", HexSSID(ssid)}};
    if (uid == WLAN_SECURE_WEP) {
        const auto* wep = dynamic_cast<const CWLANWEPSecureMethod*>(method);
        unsigned char key[CWLANWEPSecureMethod::kKeyBytes] = {};
        // Wiped on every way out (a memset of an array about to go out of scope may be
        // dropped as a dead store).
        const struct stWipeOnExit {
            unsigned char (&bytes)[CWLANWEPSecureMethod::kKeyBytes];
            ~stWipeOnExit() { security::SecureWipe(bytes, sizeof bytes); }
        } wipe{key};
        const std::size_t bytes = wep != nullptr ? wep->GetKeySizeInBit() / 8 : 0;
        if ((bytes != 5 && bytes != 13) || wep->GetKey(key) == 0) {
            return Fail(WLAN_ERROR_INVALID_PROFILE, LINUX_ERROR_INVALID_PROFILE, listener,
                        "WEP needs 40 or 104 bits");
        }
        fields.push_back({"key_mgmt", "NONE"});
        fields.push_back({"wep_key0", airvane::hex::Encode(key, bytes)});
        fields.push_back({"wep_tx_keyidx", "0"});
    } else if (uid == WLAN_SECURE_NONE) {
        fields.push_back({"key_mgmt", "NONE"});
    }
    return StartLink(*method, ssid, fields, listener);
}

int CLinuxAdapter::CheckNetworkFits(const std::string& ssid, enWLANSecureMethodUID uid,
                                    IWLANListener* listener) {
    // The network's own elements say what it requires; a profile that does not fit is
    // refused here rather than after a handshake that cannot succeed.
    std::vector<stScanEntry> entries;
    m_nl.ScanResults(m_interface.index, entries);
    const stScanEntry* network = FindBySSID(entries, ssid);
    if (network == nullptr) {
        if (!ScanNow(entries)) {
            return Fail(m_generic, m_specific, listener);
        }
        network = FindBySSID(entries, ssid);
    }
    if (network == nullptr) {
        return Fail(WLAN_ERROR_NETWORK_NOT_FOUND, LINUX_ERROR_NETWORK_NOT_FOUND, listener, ssid);
    }
    const enLinuxError mismatch =
        SecurityMismatch(uid, ClassifyNetwork(network->elements, network->capability));
    if (mismatch != LINUX_ERROR_NONE) {
        return Fail(WLAN_ERROR_ASSOCIATION_FAILED, mismatch, listener, ssid);
    }
    return 1;
}

int CLinuxAdapter::StartLink(IWLANSecureMethod& method, const std::string& ssid,
                             const std::vector<stNetworkField>& fields, IWLANListener* listener) {
    // A fresh socket: wpa_supplicant may have been restarted since the last one was opened.
    m_control.Close();
    if (!OpenControl()) {
        return Fail(WLAN_ERROR_DRIVER, LINUX_ERROR_SUPPLICANT_UNREACHABLE, listener,
                    ControlSocketPath(m_options.controlDir, m_interface.name));
    }
    RemoveTaggedNetworks();

    m_method = method.Clone();
    if (m_method == nullptr) {
        return Fail(WLAN_ERROR_OUT_OF_MEMORY, LINUX_ERROR_OUT_OF_MEMORY, listener);
    }
    m_wpa = dynamic_cast<CWLANWPAGenSecureMethod*>(m_method);
    m_handshakeFailed = false;
    if (m_wpa != nullptr) {
        CWLANState current;
        current.m_status = WLAN_LINK_NOT_ASSOCIATED;
        if (m_wpa->WPALoadContext(current, ssid.c_str(), ToWpaAdapter(&m_peerLink)) == 0) {
            ReleaseLink();
            return Fail(WLAN_ERROR_DRIVER, LINUX_ERROR_SUPPLICANT_REFUSED, listener);
        }
    } else {
        std::string error;
        m_network = AddNetwork(m_control, fields, error);
        if (m_network < 0) {
            ReleaseLink();
            return Fail(WLAN_ERROR_DRIVER, LINUX_ERROR_SUPPLICANT_REFUSED, listener, error);
        }
    }
    m_scanned = true;
    m_firstRun = true;
    Trace(listener, "connecting to " + ssid);
    return 1;
}

void CLinuxAdapter::ReleaseLink() {
    if (m_wpa != nullptr) {
        m_wpa->WPAReleaseContext();
    }
    if (m_network >= 0) {
        RemoveNetwork(m_control, m_network);
    }
    delete m_method;
    m_method = nullptr;
    m_wpa = nullptr;
    m_network = -1;
}

int CLinuxAdapter::Disconnect(IWLANListener* listener) {
    return Guarded([&] { return DoDisconnect(listener); });
}

int CLinuxAdapter::DoDisconnect(IWLANListener* listener) {
    SetError(WLAN_ERROR_NONE, LINUX_ERROR_NONE);
    if (!m_selected) {
        return Fail(WLAN_ERROR_NOT_SELECTED, LINUX_ERROR_NOT_SELECTED, listener);
    }
    if (!OpenControl()) {
        return Fail(WLAN_ERROR_DRIVER, LINUX_ERROR_SUPPLICANT_UNREACHABLE, listener,
                    ControlSocketPath(m_options.controlDir, m_interface.name));
    }
    ReleaseLink();
    // A link set up by an earlier process.
    RemoveTaggedNetworks();
    Trace(listener, "disconnected");
    return 1;
}

void CLinuxAdapter::OnHandshakeFailed() {
    m_handshakeFailed = true;
    SetError(WLAN_ERROR_AUTHENTICATION_FAILED, LINUX_ERROR_WRONG_KEY);
}

void CLinuxAdapter::ReadForeignSecurity(CWLANState& state) {
    std::string reply;
    if (!OpenControl() || !m_control.Request("STATUS", reply)) {
        return;
    }
    const auto status = ParseStatus(reply);
    const auto keyManagement = status.find("key_mgmt");
    const auto wpaState = status.find("wpa_state");
    const auto pairwise = status.find("pairwise_cipher");
    if (keyManagement == status.end() || wpaState == status.end()) {
        return;
    }
    if (keyManagement->second.find("PSK") != std::string::npos) {
        state.SetSecureMethodState(new CWLANWPAGenSecureMethodState(
            WLAN_SECURE_WPAPSK,
            static_cast<CWLANWPAGenSecureMethodState::WpaGenState>(MapWpaState(wpaState->second))));
    } else if (pairwise != status.end() && pairwise->second.compare(0, 3, "WEP") == 0) {
        state.SetSecureMethodState(new CWLANWEPSecureMethodState());
    }
}

int CLinuxAdapter::GetNetworkState(CWLANState& state, IWLANListener* listener) {
    return Guarded([&] { return DoGetNetworkState(state, listener); });
}

int CLinuxAdapter::DoGetNetworkState(CWLANState& state, IWLANListener* listener) {
    if (!m_selected) {
        return Fail(WLAN_ERROR_NOT_SELECTED, LINUX_ERROR_NOT_SELECTED, listener);
    }
    if (!Refresh()) {
        return Fail(m_generic, m_specific, listener);
    }
    // One fresh scan after selection; later reads take the kernel's current results, which
    // wpa_supplicant's own scans keep up to date (a scan of ours would disturb its work).
    std::vector<stScanEntry> entries;
    if (!m_scanned) {
        m_scanned = true;
        if (!ScanNow(entries)) {
            return Fail(m_generic, m_specific, listener);
        }
    } else {
        m_nl.ScanResults(m_interface.index, entries);
    }

    std::sort(entries.begin(), entries.end(),
              [](const stScanEntry& a, const stScanEntry& b) { return a.signalMbm > b.signalMbm; });
    bool associated = false;
    state.m_count = 0;
    for (const stScanEntry& entry : entries) {
        associated = associated || entry.associated;
        if (entry.ssid.empty() || entry.ssid.size() >= kSSIDSlotBytes || state.m_count >= kMaxNetworks) {
            continue;
        }
        bool listed = false;
        for (std::uint32_t i = 0; i < state.m_count && !listed; ++i) {
            listed = entry.ssid == state.m_ssid[i];
        }
        if (!listed) {
            std::memset(state.m_ssid[state.m_count], 0, kSSIDSlotBytes);
            std::memcpy(state.m_ssid[state.m_count], entry.ssid.data(), entry.ssid.size());
            state.m_quality[state.m_count] = QualityFromDbm(entry.signalMbm / 100);
            ++state.m_count;
        }
    }
    state.m_status = associated                                  ? WLAN_LINK_ASSOCIATED
                     : m_method != nullptr && !m_handshakeFailed ? WLAN_LINK_ASSOCIATING
                                                                 : WLAN_LINK_NOT_ASSOCIATED;
    if (m_wpa != nullptr) {
        m_wpa->WPARunContext(state, m_firstRun, false);
        m_firstRun = false;
        if (m_handshakeFailed) {
            state.m_status = WLAN_LINK_NOT_ASSOCIATED;
        }
        state.SetSecureMethodState(m_wpa->BuildSecureMethodState());
    } else if (m_method != nullptr) {
        state.SetSecureMethodState(m_method->BuildSecureMethodState());
    } else {
        ReadForeignSecurity(state);
    }
    return 1;
}

const char* CLinuxAdapter::GetAdapterName() {
    return m_name.c_str();
}

const char* CLinuxAdapter::GetFriendlyName() {
    return m_friendlyName.c_str();
}

std::uint32_t CLinuxAdapter::GetSpecifiqueLastError() {
    return m_specific;
}

en_WLANLastError CLinuxAdapter::GetGeneriqueLastError() {
    return m_generic;
}

int CLinuxAdapter::IsSecureMethodSupported(enWLANSecureMethodUID uid,
                                           IWLANSecureCapabilities** capabilities) {
    switch (uid) {
    case WLAN_SECURE_NONE:
    case WLAN_SECURE_WEP:
    case WLAN_SECURE_WPAPSK:
        return 1;
    case WLAN_SECURE_WPA:
        // Every nl80211 driver with WPA support handles CCMP; the object belongs to the caller.
        if (capabilities != nullptr) {
            *capabilities = new (std::nothrow)
                CWLANWPAGenSecureCapabilities(CWLANWPAGenSecureCapabilities::WPA_CIPHER_CCMP);
            if (*capabilities == nullptr) {
                SetError(WLAN_ERROR_OUT_OF_MEMORY, LINUX_ERROR_OUT_OF_MEMORY);
                return 0;
            }
        }
        return 1;
    default:
        return 0;
    }
}

int CLinuxAdapter::GetAdapterInfo(unsigned char* block, std::uint32_t* length) {
    if (block == nullptr || length == nullptr) {
        return 0;
    }
    return Guarded([&] {
        // A zero-terminated line of text; the length counts the terminating zero.
        const std::string info = "nl80211 interface " + m_name + ", " + m_friendlyName +
                                 (m_found ? ", phy" + std::to_string(m_interface.wiphy) : ", absent");
        const std::size_t bytes = std::min<std::size_t>(info.size(), kAdapterInfoBytes - 1);
        std::memcpy(block, info.data(), bytes);
        block[bytes] = '\0';
        *length = static_cast<std::uint32_t>(bytes + 1);
        return 1;
    });
}

const char* CLinuxAdapter::GetInterfaceName() {
    return m_interface.name.c_str();
}

const char* CLinuxAdapter::GetControlDir() {
    return m_options.controlDir.c_str();
}

} // namespace airvane::linux_wlan
