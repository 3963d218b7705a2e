#include "tools/airvane/Host.h"

#include "airvane/manager/Airvane.h"
#include "airvane/security/WEPPlusSecureMethod.h"
#include "airvane/security/WEPSecureMethod.h"
#include "airvane/security/WLANProfil.h"
#include "airvane/security/WLANState.h"
#include "airvane/security/WPASecureCapabilities.h"
#include "airvane/security/WPASecureMethod.h"
#include "airvane/security/WPASecureMethodState.h"
#include "tools/airvane/Text.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <sstream>
#include <thread>

namespace airvane::cli {

namespace {

// The configuration file the manager reads from the current folder.
constexpr const char kConfigurationFile[] = "WLANInterfaces.xml";
constexpr std::size_t kMaxWepKeyBytes = 32;
constexpr std::size_t kWpaKeyBytes = 32;
constexpr std::size_t kMinPassphrase = 8;
constexpr std::size_t kMaxPassphrase = 63;
// Link status that means "associated" (the value the WPA methods react to).
constexpr std::int32_t kStatusAssociated = 1;
constexpr std::size_t kIEBufferBytes = 40;

// A name that stops at its terminator or at the end of its field.
std::string FieldText(const char* field, std::size_t size) {
    return std::string(field, strnlen(field, size));
}

// The information block as text when it is printable text, else as hex digits.
std::string InfoText(const unsigned char* block, std::uint32_t length) {
    const std::size_t size = std::min<std::size_t>(length, stListWLANAdapter::kInfoBytes);
    std::size_t textLength = 0;
    while (textLength < size && block[textLength] != '\0') {
        ++textLength;
    }
    bool printable = true;
    for (std::size_t i = 0; i < textLength; ++i) {
        printable = printable && block[i] >= 0x20 && block[i] < 0x7F;
    }
    if (printable && (textLength == size || textLength + 1 == size)) {
        return std::string(reinterpret_cast<const char*>(block), textLength);
    }
    return ToHex(block, size);
}

// How `connect` names the security it uses.
std::string SecurityName(enWLANSecureMethodUID uid) {
    return uid == WLAN_SECURE_NONE ? std::string("open") : SecureMethodText(uid);
}

bool IsPrintable(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

struct stCapabilitiesDeleter {
    void operator()(IWLANSecureCapabilities* capabilities) const { delete capabilities; }
};

} // namespace

CHost::CHost(const stHostOptions& options, std::ostream& out, std::ostream& err)
    : m_options(options), m_out(out), m_err(err), m_listener(err), m_manager(nullptr) {}

IWLANListener* CHost::Listener() {
    return m_options.verbose ? &m_listener : nullptr;
}

CAirvane* CHost::Manager() {
    if (m_manager == nullptr) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(kConfigurationFile, error)) {
            const std::string folder = std::filesystem::current_path(error).string();
            Failure(std::string("no ") + kConfigurationFile + " in " + folder +
                        " (run where the configuration is, or give its folder with -C)",
                    false);
            return nullptr;
        }
        m_manager = &CAirvane::Instance(nullptr, Listener());
    }
    return m_manager;
}

int CHost::UsageError(const std::string& message) {
    m_err << "error: " << message << "\n";
    return EXIT_USAGE;
}

int CHost::Failure(const std::string& message, bool withAdapterError, const std::string& jsonFields) {
    en_WLANLastError generic = WLAN_ERROR_NONE;
    std::uint32_t specific = 0;
    if (withAdapterError && m_manager != nullptr) {
        generic = m_manager->GetGeneriqueLastError();
        specific = m_manager->GetSpecifiqueLastError();
    }
    const bool hasError = generic != WLAN_ERROR_NONE || specific != 0;
    if (m_options.json) {
        m_out << "{\"ok\":false" << jsonFields << ",\"message\":" << JsonString(message);
        if (hasError) {
            m_out << ",\"error\":{\"generic\":" << static_cast<std::int32_t>(generic)
                  << ",\"id\":" << JsonString(LastErrorId(generic))
                  << ",\"text\":" << JsonString(LastErrorText(generic)) << ",\"specific\":" << specific
                  << "}";
        }
        m_out << "}\n";
    }
    m_err << "error: " << message;
    if (hasError) {
        m_err << ": " << LastErrorText(generic) << " [adapter error " << static_cast<std::int32_t>(generic)
              << ", code " << specific << "]";
    }
    m_err << "\n";
    return EXIT_FAILED;
}

int CHost::Adapters(bool discover) {
    CAirvane* manager = Manager();
    if (manager == nullptr) {
        return EXIT_FAILED;
    }
    const stListWLANAdapter& list = manager->ListWLANAdapter(discover ? 1 : 0, Listener());
    const std::uint32_t count = std::min(list.adapterCount, stListWLANAdapter::kMaxAdapters);
    if (m_options.json) {
        m_out << "{\"ok\":true,\"adapters\":[";
        for (std::uint32_t i = 0; i < count; ++i) {
            m_out << (i == 0 ? "" : ",")
                  << "{\"name\":" << JsonString(FieldText(list.adapterName[i], stListWLANAdapter::kNameBytes))
                  << ",\"friendly_name\":"
                  << JsonString(FieldText(list.friendlyName[i], stListWLANAdapter::kNameBytes))
                  << ",\"info\":" << JsonString(InfoText(list.adapterInfo[i], list.adapterInfoLength[i]))
                  << "}";
        }
        m_out << "]}\n";
        return EXIT_OK;
    }
    if (count == 0) {
        m_out << "No usable adapters" << (discover ? "." : " (try --discover).") << "\n";
        return EXIT_OK;
    }
    std::size_t nameWidth = 4;
    std::size_t friendlyWidth = 13;
    for (std::uint32_t i = 0; i < count; ++i) {
        nameWidth = std::max(nameWidth, strnlen(list.adapterName[i], stListWLANAdapter::kNameBytes));
        friendlyWidth = std::max(friendlyWidth, strnlen(list.friendlyName[i], stListWLANAdapter::kNameBytes));
    }
    m_out << std::left << std::setw(static_cast<int>(nameWidth)) << "NAME"
          << "  " << std::setw(static_cast<int>(friendlyWidth)) << "FRIENDLY NAME"
          << "  INFO\n";
    for (std::uint32_t i = 0; i < count; ++i) {
        m_out << std::setw(static_cast<int>(nameWidth))
              << FieldText(list.adapterName[i], stListWLANAdapter::kNameBytes) << "  "
              << std::setw(static_cast<int>(friendlyWidth))
              << FieldText(list.friendlyName[i], stListWLANAdapter::kNameBytes) << "  "
              << InfoText(list.adapterInfo[i], list.adapterInfoLength[i]) << "\n";
    }
    m_out << std::right;
    return EXIT_OK;
}

int CHost::SelectAdapter(const std::string& name, bool discover, CAirvane*& selectedOn) {
    CAirvane* const found = Manager();
    if (found == nullptr) {
        return EXIT_FAILED;
    }
    CAirvane& manager = *found;
    const stListWLANAdapter& list = manager.ListWLANAdapter(discover ? 1 : 0, Listener());
    bool listed = false;
    const std::uint32_t count = std::min(list.adapterCount, stListWLANAdapter::kMaxAdapters);
    for (std::uint32_t i = 0; i < count && !listed; ++i) {
        listed = FieldText(list.adapterName[i], stListWLANAdapter::kNameBytes) == name;
    }
    if (!listed) {
        return Failure("adapter '" + name +
                           "' is not available: it is not configured or its device is absent" +
                           (discover ? "" : " (a hot-plugged adapter needs --discover)"),
                       false);
    }
    if (name != manager.SelectedWLANAdapter()) {
        manager.SelectWLANAdapter(name.c_str(), Listener());
        if (name != manager.SelectedWLANAdapter()) {
            return Failure("adapter '" + name + "' refused the selection", true);
        }
    }
    selectedOn = found;
    return EXIT_OK;
}

std::string CHost::SecurityStateText(const CWLANState& state) const {
    const IWLANSecureMethodState* secure = state.m_secureState;
    if (secure == nullptr) {
        return "none";
    }
    const std::int32_t uid = secure->GetSecureMethodUID();
    if (const auto* wpa = dynamic_cast<const CWLANWPAGenSecureMethodState*>(secure)) {
        return SecureMethodText(uid) + " " + WpaStateText(wpa->GetWpaState());
    }
    if (const auto* wepPlus = dynamic_cast<const CWLANWEPPlusSecureMethodState*>(secure)) {
        return SecureMethodText(uid) + " " + WepPlusStateText(wepPlus->GetWepPlusState());
    }
    return SecureMethodText(uid);
}

std::string CHost::SecurityStateJson(const CWLANState& state) const {
    const IWLANSecureMethodState* secure = state.m_secureState;
    if (secure == nullptr) {
        return "null";
    }
    const std::int32_t uid = secure->GetSecureMethodUID();
    std::ostringstream json;
    json << "{\"method\":" << JsonString(SecureMethodText(uid)) << ",\"uid\":" << uid;
    if (const auto* wpa = dynamic_cast<const CWLANWPAGenSecureMethodState*>(secure)) {
        json << ",\"wpa_state\":" << static_cast<std::int32_t>(wpa->GetWpaState())
             << ",\"wpa_text\":" << JsonString(WpaStateText(wpa->GetWpaState()));
    }
    if (const auto* wepPlus = dynamic_cast<const CWLANWEPPlusSecureMethodState*>(secure)) {
        json << ",\"wepplus_state\":" << static_cast<std::int32_t>(wepPlus->GetWepPlusState())
             << ",\"wepplus_text\":" << JsonString(WepPlusStateText(wepPlus->GetWepPlusState()));
    }
    json << "}";
    return json.str();
}

std::string CHost::SupportText(CAirvane& manager, std::string& json) const {
    static const enWLANSecureMethodUID kMethods[] = {WLAN_SECURE_NONE, WLAN_SECURE_WEP, WLAN_SECURE_WEPPLUS,
                                                     WLAN_SECURE_WPAPSK};
    std::string text;
    json = "[";
    for (const enWLANSecureMethodUID uid : kMethods) {
        if (manager.IsSecureMethodSupported(uid, nullptr) != 0) {
            text += (text.empty() ? "" : ", ") +
                    (uid == WLAN_SECURE_NONE ? std::string("open") : SecureMethodText(uid));
            json += (json.size() > 1 ? "," : "") + JsonString(SecureMethodText(uid));
        }
    }
    json += "]";
    // The WPA family's capabilities object belongs to the caller.
    IWLANSecureCapabilities* raw = nullptr;
    if (manager.IsSecureMethodSupported(WLAN_SECURE_WPA, &raw) != 0) {
        std::unique_ptr<IWLANSecureCapabilities, stCapabilitiesDeleter> capabilities(raw);
        if (const auto* wpa = dynamic_cast<const CWLANWPAGenSecureCapabilities*>(capabilities.get())) {
            const std::string cipher = CipherText(wpa->GetMaxSupportedCipher());
            text += " (strongest WPA cipher " + cipher + ")";
            json = "{\"methods\":" + json + ",\"max_cipher\":" + JsonString(cipher) + "}";
            return text.empty() ? "nothing" : text;
        }
    } else {
        delete raw;
    }
    json = "{\"methods\":" + json + "}";
    return text.empty() ? "nothing" : text;
}

int CHost::Scan(const std::string& adapter, bool discover) {
    CAirvane* manager = nullptr;
    const int selected = SelectAdapter(adapter, discover, manager);
    if (selected != EXIT_OK) {
        return selected;
    }
    CWLANState state;
    if (manager->GetNetworkState(state, Listener()) == 0) {
        return Failure("cannot read the network state of '" + adapter + "'", true);
    }
    const char* friendly = manager->SelectedWLANAdapterFriendlyName();
    const std::string friendlyName = friendly != nullptr ? friendly : "";
    std::string supportJson;
    const std::string support = SupportText(*manager, supportJson);
    const std::uint32_t count = std::min(state.m_count, CWLANState::kMaxNetworks);

    if (m_options.json) {
        m_out << "{\"ok\":true,\"adapter\":" << JsonString(adapter)
              << ",\"friendly_name\":" << JsonString(friendlyName) << ",\"status\":" << state.m_status
              << ",\"link\":" << JsonString(LinkStatusText(state.m_status))
              << ",\"security\":" << SecurityStateJson(state) << ",\"supports\":" << supportJson
              << ",\"networks\":[";
        for (std::uint32_t i = 0; i < count; ++i) {
            m_out << (i == 0 ? "" : ",")
                  << "{\"ssid\":" << JsonString(FieldText(state.m_ssid[i], CWLANState::kSSIDSlotBytes))
                  << ",\"quality\":" << state.m_quality[i] << "}";
        }
        m_out << "]}\n";
        return EXIT_OK;
    }
    m_out << "Adapter " << adapter << " (" << friendlyName << ")\n";
    m_out << "  link:     " << LinkStatusText(state.m_status) << "\n";
    m_out << "  security: " << SecurityStateText(state) << "\n";
    m_out << "  supports: " << support << "\n";
    if (count == 0) {
        m_out << "  no networks in range\n";
        return EXIT_OK;
    }
    std::size_t width = 4;
    for (std::uint32_t i = 0; i < count; ++i) {
        width = std::max(width, strnlen(state.m_ssid[i], CWLANState::kSSIDSlotBytes));
    }
    m_out << "  " << std::left << std::setw(static_cast<int>(width)) << "SSID"
          << "  QUALITY\n";
    for (std::uint32_t i = 0; i < count; ++i) {
        m_out << "  " << std::setw(static_cast<int>(width))
              << FieldText(state.m_ssid[i], CWLANState::kSSIDSlotBytes) << "  " << state.m_quality[i] << "\n";
    }
    m_out << std::right;
    return EXIT_OK;
}

int CHost::CheckConnectRequest(const stConnectRequest& request, enWLANSecureMethodUID& uid,
                               std::vector<std::uint8_t>& key) {
    uid = WLAN_SECURE_NONE;
    switch (request.security) {
    case stConnectRequest::SECURITY_OPEN:
        break;
    case stConnectRequest::SECURITY_WEP:
    case stConnectRequest::SECURITY_WEPPLUS:
        uid = request.security == stConnectRequest::SECURITY_WEP ? WLAN_SECURE_WEP : WLAN_SECURE_WEPPLUS;
        if (!ParseHex(request.secret, key) || key.size() > kMaxWepKeyBytes) {
            return UsageError(std::string(uid == WLAN_SECURE_WEP ? "--wep" : "--wepplus") +
                              ": expected a key of 1 to 32 bytes in hex digits, e.g. 0102030405");
        }
        break;
    case stConnectRequest::SECURITY_WPA_KEY:
        uid = WLAN_SECURE_WPAPSK;
        if (!ParseHex(request.secret, key) || key.size() != kWpaKeyBytes) {
            return UsageError("--wpa-key: expected a 256-bit key as 64 hex digits");
        }
        break;
    case stConnectRequest::SECURITY_WPA_PASSPHRASE:
        uid = WLAN_SECURE_WPAPSK;
        if (request.secret.size() < kMinPassphrase || request.secret.size() > kMaxPassphrase ||
            !IsPrintable(request.secret)) {
            return UsageError("--wpa-psk: a pass phrase has 8 to 63 printable characters");
        }
        break;
    }
    if (request.ssid.empty()) {
        return UsageError("--ssid: the network name is empty");
    }
    if (request.timeoutSeconds < 0) {
        return UsageError("--timeout: must not be negative");
    }
    return EXIT_OK;
}

bool CHost::FillProfile(CWLANProfil& profile, const stConnectRequest& request,
                        const std::vector<std::uint8_t>& key) {
    IWLANSecureMethod* method = profile.GetSecureMethodIF();
    if (method == nullptr) {
        return false;
    }
    const auto bits = static_cast<std::uint32_t>(key.size() * 8);
    if (auto* wepPlus = dynamic_cast<CWLANWEPPlusSecureMethod*>(method)) {
        wepPlus->SetWepPlusKeyPath(request.wepPlusKeyPath.c_str());
        return wepPlus->SetKey(key.data(), bits) != 0;
    }
    if (auto* wep = dynamic_cast<CWLANWEPSecureMethod*>(method)) {
        return wep->SetKey(key.data(), bits) != 0;
    }
    if (auto* psk = dynamic_cast<CWLANWPAPSKSecureMethod*>(method)) {
        return request.security == stConnectRequest::SECURITY_WPA_PASSPHRASE
                   ? psk->SetPassword(request.secret.c_str()) != 0
                   : psk->SetKey(key.data(), bits) != 0;
    }
    return true; // no security: nothing to set
}

int CHost::Connect(const stConnectRequest& request) {
    // Check the command line before touching any adapter.
    std::vector<std::uint8_t> key;
    enWLANSecureMethodUID uid = WLAN_SECURE_NONE;
    const int checked = CheckConnectRequest(request, uid, key);
    if (checked != EXIT_OK) {
        return checked;
    }
    CAirvane* manager = nullptr;
    const int selected = SelectAdapter(request.adapter, request.discover, manager);
    if (selected != EXIT_OK) {
        return selected;
    }

    CWLANProfil profile(request.ssid.c_str(), uid);
    const bool filled = FillProfile(profile, request, key);
    std::fill(key.begin(), key.end(), 0);
    if (!filled) {
        return Failure("cannot build the connection profile", false);
    }
    if (!m_options.json) {
        m_out << "Connecting " << request.adapter << " to " << request.ssid << " (" << SecurityName(uid)
              << ")\n"
              << std::flush;
    }
    if (manager->Connect(profile, Listener()) == 0) {
        return Failure("connecting to '" + request.ssid + "' failed", true);
    }
    return FollowConnection(*manager, request, uid);
}

int CHost::FollowConnection(CAirvane& manager, const stConnectRequest& request, enWLANSecureMethodUID uid) {
    // Each change of link status or security state is an event: a line of text, or an
    // entry of the JSON document's "events".
    std::ostringstream events;
    std::size_t eventCount = 0;
    auto event = [&](const std::string& kind, const std::string& text, std::int32_t value) {
        if (m_options.json) {
            events << (eventCount == 0 ? "" : ",") << "{\"" << kind << "\":" << JsonString(text)
                   << ",\"value\":" << value << "}";
        } else {
            m_out << "  " << kind << ": " << text << "\n" << std::flush;
        }
        ++eventCount;
    };

    // Poll until the link is up (and keyed), the adapter reports an error or time runs out.
    const auto start = std::chrono::steady_clock::now();
    const auto timeout = std::chrono::duration<double>(request.timeoutSeconds);
    std::int32_t lastStatus = -1;
    std::string lastSecurity;
    CWLANState state;
    std::string failure;
    bool adapterError = true;
    for (;;) {
        if (manager.GetNetworkState(state, Listener()) == 0) {
            failure = "reading the network state failed";
            break;
        }
        if (state.m_status != lastStatus) {
            lastStatus = state.m_status;
            event("link", LinkStatusText(state.m_status), state.m_status);
        }
        const std::string securityState = SecurityStateText(state);
        std::int32_t stateValue = -1;
        bool keyed = false;
        bool completed = false;
        if (const auto* wpa = dynamic_cast<const CWLANWPAGenSecureMethodState*>(state.m_secureState)) {
            stateValue = wpa->GetWpaState();
            completed = wpa->GetWpaState() == CWLANWPAGenSecureMethodState::WPA_STATE_COMPLETED;
        } else if (const auto* plus =
                       dynamic_cast<const CWLANWEPPlusSecureMethodState*>(state.m_secureState)) {
            stateValue = plus->GetWepPlusState();
            keyed = plus->GetWepPlusState() == CWLANWEPPlusSecureMethodState::WEPPLUS_KEYED;
        }
        if (stateValue >= 0 && securityState != lastSecurity) {
            lastSecurity = securityState;
            event("security", securityState, stateValue);
        }
        if (manager.GetGeneriqueLastError() != WLAN_ERROR_NONE) {
            failure = "connecting to '" + request.ssid + "' failed";
            break;
        }
        const bool associated = state.m_status == kStatusAssociated;
        if ((uid == WLAN_SECURE_WPAPSK && completed) || (uid == WLAN_SECURE_WEPPLUS && associated && keyed) ||
            ((uid == WLAN_SECURE_NONE || uid == WLAN_SECURE_WEP) && associated)) {
            if (m_options.json) {
                m_out << "{\"ok\":true,\"adapter\":" << JsonString(request.adapter)
                      << ",\"ssid\":" << JsonString(request.ssid)
                      << ",\"security\":" << JsonString(SecurityName(uid)) << ",\"events\":[" << events.str()
                      << "],\"status\":" << state.m_status << ",\"state\":" << SecurityStateJson(state)
                      << "}\n";
            } else {
                m_out << "Connected to " << request.ssid << ".\n";
            }
            return EXIT_OK;
        }
        if (std::chrono::steady_clock::now() - start >= timeout) {
            std::ostringstream message;
            message << "timed out after " << request.timeoutSeconds << " s connecting to '" << request.ssid
                    << "' (link " << LinkStatusText(state.m_status) << ", security " << securityState << ")";
            failure = message.str();
            adapterError = false;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(request.pollMilliseconds));
    }
    return Failure(failure, adapterError,
                   ",\"adapter\":" + JsonString(request.adapter) + ",\"ssid\":" + JsonString(request.ssid) +
                       ",\"events\":[" + events.str() + "]");
}

int CHost::Disconnect(const std::string& adapter, bool discover) {
    CAirvane* manager = nullptr;
    const int selected = SelectAdapter(adapter, discover, manager);
    if (selected != EXIT_OK) {
        return selected;
    }
    if (manager->Disconnect(Listener()) == 0) {
        return Failure("disconnecting '" + adapter + "' failed", true);
    }
    if (m_options.json) {
        m_out << "{\"ok\":true,\"adapter\":" << JsonString(adapter) << "}\n";
    } else {
        m_out << "Disconnected " << adapter << ".\n";
    }
    return EXIT_OK;
}

int CHost::DecodeIE(const std::vector<std::string>& elements) {
    std::vector<std::vector<std::uint8_t>> decoded;
    for (const std::string& element : elements) {
        std::vector<std::uint8_t> bytes;
        if (!ParseHex(element, bytes)) {
            return UsageError("'" + element + "' is not hex digits, two per byte");
        }
        decoded.push_back(bytes);
    }
    unsigned long flags = 0;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        if (CWLANWPAGenSecureMethod::WPAParseIEinfo(
                decoded[i].data(), static_cast<unsigned int>(decoded[i].size()), flags) == 0) {
            return Failure(
                "element " + std::to_string(i + 1) + " is not a valid WPA or RSN information element", false);
        }
    }
    std::ostringstream word;
    word << "0x" << std::hex << std::setw(8) << std::setfill('0') << flags;
    const std::vector<std::string> names = IEFlagNames(flags);
    if (m_options.json) {
        m_out << "{\"ok\":true,\"flags\":" << JsonString(word.str()) << ",\"names\":[";
        for (std::size_t i = 0; i < names.size(); ++i) {
            m_out << (i == 0 ? "" : ",") << JsonString(names[i]);
        }
        m_out << "]}\n";
        return EXIT_OK;
    }
    m_out << word.str();
    for (const std::string& name : names) {
        m_out << " " << name;
    }
    m_out << "\n";
    return EXIT_OK;
}

int CHost::EncodeIE(const std::vector<std::string>& flagTexts) {
    unsigned long flags = 0;
    for (const std::string& text : flagTexts) {
        if (!ParseIEFlag(text, flags)) {
            return UsageError("'" + text +
                              "' is not a flag name (such as PROTO_WPA, GROUP_TKIP, AKM_PSK) or flag word");
        }
    }
    unsigned char buffer[kIEBufferBytes] = {};
    const int length = CWLANWPAGenSecureMethod::WPAGenerateIEinfo(flags, buffer, sizeof buffer);
    if (length < 0) {
        return Failure("the flags name no protocol: give PROTO_WPA or PROTO_RSN", false);
    }
    const std::string hex = ToHex(buffer, static_cast<std::size_t>(length));
    if (m_options.json) {
        m_out << "{\"ok\":true,\"element\":" << JsonString(hex) << ",\"length\":" << length << "}\n";
    } else {
        m_out << hex << "\n";
    }
    return EXIT_OK;
}

} // namespace airvane::cli
