#include "plugins/sim/adapter/SimAdapter.h"

#include "plugins/sim/SimWpaPeer.h"

#include "airvane/security/SecureWipe.h"
#include "airvane/security/WEPPlusSecureMethod.h"
#include "airvane/security/WEPSecureMethod.h"
#include "airvane/security/WLANProfil.h"
#include "airvane/security/WPAPSKSecureMethod.h"
#include "airvane/security/WPASecureCapabilities.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

namespace airvane::sim {

namespace {

// Trace phrases, each sent as "Simulated adapter <name>: <phrase>".
constexpr const char* kTracePrefix = "Simulated adapter ";
constexpr const char* kTraceAssociating = "associating with ";
constexpr const char* kTraceAssociated = "associated with ";
constexpr const char* kTraceRefused = "association refused by ";
constexpr const char* kTraceWrongKey = "wrong key for ";
constexpr const char* kTraceHandshakeDone = "4-way handshake completed with ";
constexpr const char* kTraceHandshakeFailed = "4-way handshake failed with ";
constexpr const char* kTraceDisconnected = "disconnected from ";
constexpr const char* kTraceFailed = "failed: ";

// Frames counted per poll while a link is up; they drive WEP Plus renewal by counter.
constexpr std::uint32_t kFramesSentPerPoll = 400;
constexpr std::uint32_t kFramesReceivedPerPoll = 600;

constexpr std::uint32_t kIndicatorBytes = 4;
constexpr std::uint32_t kWpaKeyBits = 256;

const char* CipherName(std::int32_t cipher) {
    switch (cipher) {
    case 0:
        return "NONE";
    case 1:
        return "WEP";
    case 2:
        return "TKIP";
    default:
        return "CCMP";
    }
}

} // namespace

CSimAdapter::CSimAdapter(const stSimAdapterConfig& config)
    : m_config(config), m_ready(config.ready), m_selected(false), m_link(LINK_IDLE), m_network(-1),
      m_method(nullptr), m_wpa(nullptr), m_wepPlus(nullptr), m_associationPolls(0), m_firstRun(false),
      m_handshake(enSimHandshakeResult(0)), m_handshakeReported(false), m_keyAgreed(false), m_renewals(0),
      m_framesSent(0), m_framesReceived(0), m_generic(WLAN_ERROR_NONE), m_specific(SIM_ERROR_NONE) {}

CSimAdapter::~CSimAdapter() {
    ReleaseLink();
}

template <typename F> int CSimAdapter::Guarded(F&& operation) noexcept {
    // The library calls these operations across the module boundary: no exception may leave.
    try {
        return operation();
    } catch (const std::exception&) {
        SetError(WLAN_ERROR_OUT_OF_MEMORY, SIM_ERROR_OUT_OF_MEMORY);
        return 0;
    }
}

void CSimAdapter::SetError(en_WLANLastError generic, enSimError specific) {
    m_generic = generic;
    m_specific = specific;
}

void CSimAdapter::ClearError() {
    SetError(WLAN_ERROR_NONE, SIM_ERROR_NONE);
}

int CSimAdapter::Fail(en_WLANLastError generic, enSimError specific, IWLANListener* listener,
                      const std::string& what) {
    SetError(generic, specific);
    Trace(listener, kTraceFailed + what);
    return 0;
}

void CSimAdapter::Trace(IWLANListener* listener, const std::string& text) const {
    if (listener != nullptr) {
        const std::string line = kTracePrefix + m_config.name + ": " + text;
        listener->Trace(line.c_str());
    }
}

const stSimNetwork* CSimAdapter::FindNetwork(const char* ssid) const {
    for (const stSimNetwork& network : m_config.networks) {
        if (network.ssid == ssid) {
            return &network;
        }
    }
    return nullptr;
}

stSimNetwork* CSimAdapter::CurrentNetwork() {
    if (m_network < 0 || static_cast<std::size_t>(m_network) >= m_config.networks.size()) {
        return nullptr;
    }
    return &m_config.networks[static_cast<std::size_t>(m_network)];
}

int CSimAdapter::IsPreconfigured() {
    return m_ready ? 1 : 0;
}

int CSimAdapter::Preconfigure(IWLANListener* listener) {
    return Guarded([&] { return DoPreconfigure(listener); });
}

int CSimAdapter::DoPreconfigure(IWLANListener* listener) {
    ClearError();
    if (!m_config.prepareSucceeds) {
        return Fail(WLAN_ERROR_NOT_PRECONFIGURED, SIM_ERROR_PREPARATION_FAILED, listener, "preparation");
    }
    m_ready = true;
    return 1;
}

int CSimAdapter::Reserved() {
    return kSimWepPlusSignature;
}

int CSimAdapter::Select(IWLANListener* listener) {
    return Guarded([&] { return DoSelect(listener); });
}

int CSimAdapter::DoSelect(IWLANListener* listener) {
    ClearError();
    if (!m_config.present) {
        return Fail(WLAN_ERROR_HARDWARE_UNAVAILABLE, SIM_ERROR_DEVICE_ABSENT, listener, "device absent");
    }
    if (!m_config.acceptsSelection) {
        return Fail(WLAN_ERROR_DRIVER, SIM_ERROR_SELECTION_REFUSED, listener, "selection refused");
    }
    m_selected = true;
    return 1;
}

int CSimAdapter::Unselect(IWLANListener* listener) {
    return Guarded([&] { return DoUnselect(listener); });
}

int CSimAdapter::DoUnselect(IWLANListener* listener) {
    ClearError();
    EndLink(listener);
    m_selected = false;
    return 1;
}

int CSimAdapter::CheckProfile(CWLANProfil& profile, const stSimNetwork& network, IWLANSecureMethod*& method,
                              IWLANListener* listener) {
    method = profile.GetSecureMethodIF();
    if (method == nullptr) {
        return Fail(WLAN_ERROR_INVALID_PROFILE, SIM_ERROR_INVALID_PROFILE, listener,
                    "profile has no secure method");
    }
    const enWLANSecureMethodUID uid = method->GetSecureMethodUID();
    if (uid == WLAN_SECURE_WEPPLUS && !m_config.wepPlusSupported) {
        return Fail(WLAN_ERROR_SECURE_METHOD_UNSUPPORTED, SIM_ERROR_METHOD_UNSUPPORTED, listener,
                    "WEP Plus is not supported by this device");
    }
    if (uid == WLAN_SECURE_WPAPSK && !m_config.wpaSupported) {
        return Fail(WLAN_ERROR_SECURE_METHOD_UNSUPPORTED, SIM_ERROR_METHOD_UNSUPPORTED, listener,
                    "WPA-PSK is not supported by this device");
    }
    if (static_cast<std::int32_t>(uid) != static_cast<std::int32_t>(network.security)) {
        return Fail(WLAN_ERROR_ASSOCIATION_FAILED, SIM_ERROR_SECURITY_MISMATCH, listener,
                    "the profile's security does not match " + network.ssid);
    }
    switch (uid) {
    case WLAN_SECURE_WEP:
    case WLAN_SECURE_WEPPLUS: {
        const auto* wep = dynamic_cast<const CWLANWEPSecureMethod*>(method);
        if (wep == nullptr || wep->GetKeySizeInBit() / 8 == 0) {
            return Fail(WLAN_ERROR_INVALID_PROFILE, SIM_ERROR_INVALID_PROFILE, listener, "no WEP key");
        }
        break;
    }
    case WLAN_SECURE_WPAPSK: {
        const auto* psk = dynamic_cast<const CWLANWPAPSKSecureMethod*>(method);
        std::string passphrase;
        const bool hasPassphrase = psk != nullptr && psk->GetPassword(passphrase) != 0;
        const bool hasKey = psk != nullptr && psk->GetKeySizeInBit() == kWpaKeyBits;
        const bool validPassphrase = hasPassphrase && IsSimPassphraseLength(passphrase.size());
        std::fill(passphrase.begin(), passphrase.end(), '\0');
        if (!validPassphrase && !hasKey) {
            return Fail(WLAN_ERROR_INVALID_PROFILE, SIM_ERROR_INVALID_PROFILE, listener,
                        "WPA-PSK needs a pass phrase of 8 to 63 characters or a 256-bit key");
        }
        break;
    }
    default:
        break;
    }
    return 1;
}

int CSimAdapter::Connect(CWLANProfil& profile, IWLANListener* listener) {
    return Guarded([&] { return DoConnect(profile, listener); });
}

int CSimAdapter::DoConnect(CWLANProfil& profile, IWLANListener* listener) {
    ClearError();
    if (!m_config.present) {
        return Fail(WLAN_ERROR_HARDWARE_UNAVAILABLE, SIM_ERROR_DEVICE_ABSENT, listener, "device absent");
    }
    if (!m_selected) {
        return Fail(WLAN_ERROR_NOT_SELECTED, SIM_ERROR_NOT_SELECTED, listener, "adapter not selected");
    }
    ReleaseLink();
    const char* ssid = profile.GetSSID();
    if (ssid == nullptr || *ssid == '\0') {
        return Fail(WLAN_ERROR_INVALID_PROFILE, SIM_ERROR_INVALID_PROFILE, listener, "profile has no SSID");
    }
    const stSimNetwork* network = FindNetwork(ssid);
    if (network == nullptr) {
        return Fail(WLAN_ERROR_NETWORK_NOT_FOUND, SIM_ERROR_NETWORK_NOT_IN_RANGE, listener,
                    std::string("network not in range: ") + ssid);
    }
    IWLANSecureMethod* method = nullptr;
    if (CheckProfile(profile, *network, method, listener) == 0) {
        return 0;
    }
    m_method = method->Clone();
    if (m_method == nullptr) {
        return Fail(WLAN_ERROR_OUT_OF_MEMORY, SIM_ERROR_OUT_OF_MEMORY, listener, "out of memory");
    }
    m_network = static_cast<int>(network - m_config.networks.data());
    m_wpa = dynamic_cast<CWLANWPAGenSecureMethod*>(m_method);
    m_wepPlus = dynamic_cast<CWLANWEPPlusSecureMethod*>(m_method);
    m_handshake = enSimHandshakeResult(0);
    m_handshakeReported = false;
    m_keyAgreed = false;
    if (m_wpa != nullptr) {
        // The supplicant starts from the link as it is now: not associated.
        CWLANState current;
        current.m_status = WLAN_LINK_NOT_ASSOCIATED;
        if (m_wpa->WPALoadContext(current, network->ssid.c_str(), AsWpaAdapter()) == 0) {
            ReleaseLink();
            return Fail(WLAN_ERROR_DRIVER, SIM_ERROR_SUPPLICANT_UNAVAILABLE, listener,
                        "the supplicant module refused the network");
        }
    }
    m_link = LINK_ASSOCIATING_STEP;
    m_associationPolls = 0;
    m_firstRun = true;
    Trace(listener, kTraceAssociating + network->ssid);
    return 1;
}

int CSimAdapter::Disconnect(IWLANListener* listener) {
    return Guarded([&] { return DoDisconnect(listener); });
}

int CSimAdapter::DoDisconnect(IWLANListener* listener) {
    ClearError();
    if (!m_selected) {
        return Fail(WLAN_ERROR_NOT_SELECTED, SIM_ERROR_NOT_SELECTED, listener, "adapter not selected");
    }
    EndLink(listener);
    return 1;
}

bool CSimAdapter::KeyMatchesAccessPoint() const {
    const auto* wep = dynamic_cast<const CWLANWEPSecureMethod*>(m_method);
    const stSimNetwork& network = m_config.networks[static_cast<std::size_t>(m_network)];
    if (wep == nullptr) {
        return true;
    }
    unsigned char key[CWLANWEPSecureMethod::kKeyBytes] = {};
    const std::size_t bytes = wep->GetKeySizeInBit() / 8;
    const bool match = bytes == network.key.size() && bytes <= sizeof key && wep->GetKey(key) != 0 &&
                       std::memcmp(key, network.key.data(), bytes) == 0;
    security::SecureWipe(key, sizeof key);
    return match;
}

void CSimAdapter::StepAssociation(IWLANListener* listener) {
    const stSimNetwork* network = CurrentNetwork();
    if (m_link != LINK_ASSOCIATING_STEP || network == nullptr) {
        return;
    }
    // The request goes out on the first poll; the access point answers on the next one.
    if (++m_associationPolls < 2 || network->association == SIM_ASSOCIATION_IGNORE) {
        return;
    }
    if (network->association == SIM_ASSOCIATION_REFUSE) {
        SetError(WLAN_ERROR_ASSOCIATION_FAILED, SIM_ERROR_ASSOCIATION_REFUSED);
        Trace(listener, kTraceRefused + network->ssid);
        ReleaseLink();
        return;
    }
    if (!KeyMatchesAccessPoint()) {
        SetError(WLAN_ERROR_AUTHENTICATION_FAILED, SIM_ERROR_WRONG_KEY);
        Trace(listener, kTraceWrongKey + network->ssid);
        ReleaseLink();
        return;
    }
    m_link = LINK_UP;
    Trace(listener, kTraceAssociated + network->ssid);
}

void CSimAdapter::RunSecurity(CWLANState& state, IWLANListener* listener) {
    if (m_method == nullptr) {
        return;
    }
    if (m_wpa != nullptr) {
        m_wpa->WPARunContext(state, m_firstRun, false);
        m_firstRun = false;
        if (m_handshake != 0 && !m_handshakeReported) {
            m_handshakeReported = true;
            const std::string ssid = CurrentNetwork() != nullptr ? CurrentNetwork()->ssid : std::string();
            if (m_handshake == SIM_HANDSHAKE_COMPLETED) {
                Trace(listener, kTraceHandshakeDone + ssid);
            } else {
                SetError(WLAN_ERROR_AUTHENTICATION_FAILED, SIM_ERROR_HANDSHAKE_FAILED);
                Trace(listener, kTraceHandshakeFailed + ssid);
                // The access point drops a station that failed the handshake.
                m_link = LINK_IDLE;
                state.m_status = WLAN_LINK_NOT_ASSOCIATED;
            }
        }
    } else if (m_wepPlus != nullptr && m_link == LINK_UP) {
        m_wepPlus->CheckWepPlus(this);
    }
    state.SetSecureMethodState(m_method->BuildSecureMethodState());
}

int CSimAdapter::GetNetworkState(CWLANState& state, IWLANListener* listener) {
    return Guarded([&] { return DoGetNetworkState(state, listener); });
}

int CSimAdapter::DoGetNetworkState(CWLANState& state, IWLANListener* listener) {
    if (!m_config.present) {
        SetError(WLAN_ERROR_HARDWARE_UNAVAILABLE, SIM_ERROR_DEVICE_ABSENT);
        return 0;
    }
    if (!m_selected) {
        SetError(WLAN_ERROR_NOT_SELECTED, SIM_ERROR_NOT_SELECTED);
        return 0;
    }
    StepAssociation(listener);
    if (m_link == LINK_UP) {
        m_framesSent += kFramesSentPerPoll;
        m_framesReceived += kFramesReceivedPerPoll;
    }

    const std::size_t count = std::min(m_config.networks.size(), kSimMaxNetworks);
    state.m_count = static_cast<std::uint32_t>(count);
    for (std::size_t i = 0; i < count; ++i) {
        const stSimNetwork& network = m_config.networks[i];
        std::memset(state.m_ssid[i], 0, sizeof state.m_ssid[i]);
        std::memcpy(state.m_ssid[i], network.ssid.data(), std::min(network.ssid.size(), kSimMaxSSIDBytes));
        state.m_quality[i] = network.quality;
    }
    switch (m_link) {
    case LINK_UP:
        state.m_status = WLAN_LINK_ASSOCIATED;
        break;
    case LINK_ASSOCIATING_STEP:
        state.m_status = WLAN_LINK_ASSOCIATING;
        break;
    default:
        state.m_status = WLAN_LINK_NOT_ASSOCIATED;
        break;
    }
    RunSecurity(state, listener);
    return 1;
}

int CSimAdapter::IsHardwareAvailable() {
    return m_config.present ? 1 : 0;
}

const char* CSimAdapter::GetAdapterName() {
    return m_config.name.c_str();
}

const char* CSimAdapter::GetFriendlyName() {
    return m_config.friendlyName.c_str();
}

std::uint32_t CSimAdapter::GetSpecifiqueLastError() {
    return m_specific;
}

en_WLANLastError CSimAdapter::GetGeneriqueLastError() {
    return m_generic;
}

int CSimAdapter::IsSecureMethodSupported(enWLANSecureMethodUID uid, IWLANSecureCapabilities** capabilities) {
    switch (uid) {
    case WLAN_SECURE_NONE:
    case WLAN_SECURE_WEP:
        return 1;
    case WLAN_SECURE_WEPPLUS:
        return m_config.wepPlusSupported ? 1 : 0;
    case WLAN_SECURE_WPAPSK:
        return m_config.wpaSupported ? 1 : 0;
    case WLAN_SECURE_WPA:
        if (!m_config.wpaSupported) {
            return 0;
        }
        // The capabilities object belongs to the caller.
        if (capabilities != nullptr) {
            *capabilities = new (std::nothrow) CWLANWPAGenSecureCapabilities(
                static_cast<CWLANWPAGenSecureCapabilities::enWPACipher>(m_config.maxCipher));
            if (*capabilities == nullptr) {
                SetError(WLAN_ERROR_OUT_OF_MEMORY, SIM_ERROR_OUT_OF_MEMORY);
                return 0;
            }
        }
        return 1;
    default:
        return 0;
    }
}

int CSimAdapter::GetAdapterInfo(unsigned char* block, std::uint32_t* length) {
    if (block == nullptr || length == nullptr) {
        return 0;
    }
    return Guarded([&] { return FillAdapterInfo(block, length); });
}

int CSimAdapter::FillAdapterInfo(unsigned char* block, std::uint32_t* length) {
    // A zero-terminated line of text; the length counts the terminating zero.
    std::string info = "address " + FormatHardwareAddress(m_config.address);
    info += m_config.wpaSupported ? std::string(", WPA-PSK up to ") + CipherName(m_config.maxCipher)
                                  : std::string(", no WPA");
    if (m_config.wepPlusSupported) {
        info += ", WEP Plus";
    }
    if (m_config.hotPlug) {
        info += ", hot-plugged";
    }
    const std::size_t bytes = std::min<std::size_t>(info.size(), kAdapterInfoBytes - 1);
    std::memcpy(block, info.data(), bytes);
    block[bytes] = '\0';
    *length = static_cast<std::uint32_t>(bytes + 1);
    return 1;
}

int CSimAdapter::GetAdapterAddress(std::uint8_t* buffer, std::uint32_t* length) {
    if (buffer == nullptr || length == nullptr || *length < kSimAddressBytes) {
        return 0;
    }
    std::memcpy(buffer, m_config.address, kSimAddressBytes);
    *length = kSimAddressBytes;
    return 1;
}

int CSimAdapter::GetPeerAddress(std::uint8_t* buffer, std::uint32_t* length) {
    const stSimNetwork* network = CurrentNetwork();
    if (buffer == nullptr || length == nullptr || *length < kSimAddressBytes || network == nullptr) {
        return 0;
    }
    std::memcpy(buffer, network->bssid, kSimAddressBytes);
    *length = kSimAddressBytes;
    return 1;
}

int CSimAdapter::GetIndicator(std::uint8_t* buffer, std::uint32_t* length) {
    if (buffer == nullptr || length == nullptr || *length < kIndicatorBytes) {
        return 0;
    }
    const stSimNetwork* network = CurrentNetwork();
    const bool waiting =
        m_link == LINK_UP && network != nullptr && network->security == SIM_SECURITY_WEPPLUS && !m_keyAgreed;
    std::memset(buffer, 0, kIndicatorBytes);
    buffer[0] = waiting ? 1 : 0;
    *length = kIndicatorBytes;
    return 1;
}

int CSimAdapter::GetCounters(std::uint32_t* counter1, std::uint32_t* counter2) {
    if (counter1 == nullptr || counter2 == nullptr) {
        return 0;
    }
    *counter1 = m_framesSent;
    *counter2 = m_framesReceived;
    return 1;
}

const char* CSimAdapter::GetLabel() {
    return m_config.label.c_str();
}

int CSimAdapter::RenewAccessPointKey(const std::uint8_t* key, std::uint32_t sizeInBit) {
    stSimNetwork* network = CurrentNetwork();
    const std::size_t bytes = sizeInBit / 8;
    if (key == nullptr || network == nullptr || m_link != LINK_UP ||
        network->security != SIM_SECURITY_WEPPLUS || !network->acceptsRenewal || bytes == 0 ||
        bytes > kSimMaxKeyBytes) {
        return 0;
    }
    // The new key gets a buffer of its own, so that a failed renewal leaves the old key in
    // place; the old key is wiped before its buffer is released.
    std::vector<std::uint8_t> renewed;
    try {
        renewed.assign(key, key + bytes);
    } catch (const std::exception&) {
        return 0;
    }
    security::SecureWipe(network->key.data(), network->key.size());
    network->key.swap(renewed);
    m_keyAgreed = true;
    ++m_renewals;
    return 1;
}

const char* CSimAdapter::GetAccessPointSSID() {
    const stSimNetwork* network = CurrentNetwork();
    return network != nullptr ? network->ssid.c_str() : nullptr;
}

const char* CSimAdapter::GetAccessPointPassphrase() {
    const stSimNetwork* network = CurrentNetwork();
    if (network == nullptr || network->passphrase.empty()) {
        return nullptr;
    }
    return network->passphrase.c_str();
}

int CSimAdapter::GetAccessPointKey(std::uint8_t key[kSimPMKBytes]) {
    const stSimNetwork* network = CurrentNetwork();
    if (key == nullptr || network == nullptr || network->key.size() != kSimPMKBytes) {
        return 0;
    }
    std::memcpy(key, network->key.data(), kSimPMKBytes);
    return 1;
}

void CSimAdapter::OnHandshakeResult(enSimHandshakeResult result) {
    m_handshake = result;
    m_handshakeReported = false;
}

void CSimAdapter::EndLink(IWLANListener* listener) {
    const stSimNetwork* network = CurrentNetwork();
    if (m_link != LINK_IDLE && network != nullptr) {
        Trace(listener, kTraceDisconnected + network->ssid);
    }
    ReleaseLink();
}

void CSimAdapter::ReleaseLink() {
    if (m_wpa != nullptr) {
        m_wpa->WPAReleaseContext();
    }
    delete m_method;
    m_method = nullptr;
    m_wpa = nullptr;
    m_wepPlus = nullptr;
    m_link = LINK_IDLE;
    m_network = -1;
    m_associationPolls = 0;
    m_keyAgreed = false;
}

} // namespace airvane::sim
