#include "tools/airvane/Host.h"

#include "airvane/Hex.h"
#include "airvane/manager/Airvane.h"
#include "airvane/platform/RegistryBackend.h"
#include "airvane/security/WEPPlusSecureMethod.h"
#include "airvane/security/WEPSecureMethod.h"
#include "airvane/security/WLANProfil.h"
#include "airvane/security/WLANState.h"
#include "airvane/security/WPAPSKSecureMethod.h"
#include "airvane/security/WPASecureCapabilities.h"
#include "airvane/system/Registry.h"
#include "airvane/xml/XMLReader.h"
#include "tools/airvane/ConfigCheck.h"
#include "tools/airvane/Renderer.h"
#include "tools/airvane/SecurityState.h"
#include "tools/airvane/Text.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
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
constexpr std::size_t kIEBufferBytes = 40;
constexpr std::size_t kMaxSSIDBytes = 32;
constexpr double kMaxTimeoutSeconds = 3600;
constexpr double kMinPollMilliseconds = 1;
constexpr double kMaxPollMilliseconds = 60000;

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
    return hex::Encode(block, size);
}

// How `connect` names the security it uses.
std::string SecurityName(enWLANSecureMethodUID uid) {
    return uid == WLAN_SECURE_NONE ? std::string("open") : SecureMethodText(uid);
}

bool IsPrintable(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// A registry key path the store accepts: a known root name, "\\", then non-empty components.
bool IsValidKeyPath(const std::string& path) {
    std::uint32_t root = 0;
    std::string subKey;
    if (RegistryParsePath(path.c_str(), root, subKey) == 0 || root == 0 || subKey.empty()) {
        return false;
    }
    if (subKey.back() == '\\') {
        subKey.pop_back();
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = subKey.find('\\', start);
        const std::size_t length = (end == std::string::npos ? subKey.size() : end) - start;
        if (length == 0 || length > 255) {
            return false;
        }
        if (end == std::string::npos) {
            return true;
        }
        start = end + 1;
    }
}

// Exit status of a failed connection from the adapter's generic last error.
int ConnectFailureStatus(en_WLANLastError error) {
    switch (error) {
    case WLAN_ERROR_AUTHENTICATION_FAILED:
        return EXIT_AUTH;
    case WLAN_ERROR_NETWORK_NOT_FOUND:
        return EXIT_NOT_FOUND;
    default:
        return EXIT_FAILED;
    }
}

struct stCapabilitiesDeleter {
    void operator()(IWLANSecureCapabilities* capabilities) const { delete capabilities; }
};

} // namespace

CHost::CHost(const stHostOptions& options, std::ostream& out, std::ostream& err)
    : m_options(options), m_renderer(options.json ? MakeJsonRenderer(out, err) : MakeTextRenderer(out, err)),
      m_listener(err), m_manager(nullptr), m_connect(nullptr) {}

CHost::~CHost() = default;

IWLANListener* CHost::Listener() {
    return m_options.verbose ? &m_listener : nullptr;
}

CAirvane* CHost::Manager() {
    if (m_manager == nullptr) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(kConfigurationFile, error)) {
            const std::string folder = std::filesystem::current_path(error).string();
            Failure(EXIT_NO_ADAPTER,
                    std::string("no ") + kConfigurationFile + " in " + folder +
                        " (run where the configuration is, or give its folder with -C)",
                    false);
            return nullptr;
        }
        m_manager = &CAirvane::Instance(nullptr, Listener());
    }
    return m_manager;
}

int CHost::UsageError(const std::string& message) {
    return Failure(EXIT_USAGE, message, false);
}

int CHost::CommandStopped(const std::string& message) {
    return Failure(EXIT_FAILED, message, false);
}

int CHost::NoUsableAdapter() {
    return Failure(EXIT_NO_ADAPTER, "no usable adapter", false, ExplainNoAdapter(kConfigurationFile));
}

int CHost::Failure(int status, const std::string& message, bool withAdapterError,
                   const std::vector<std::string>& reasons) {
    stFailure failure;
    failure.status = status;
    failure.message = message;
    failure.reasons = reasons;
    if (withAdapterError && m_manager != nullptr) {
        failure.generic = m_manager->GetGeneriqueLastError();
        failure.specific = m_manager->GetSpecifiqueLastError();
        failure.hasAdapterError = failure.generic != WLAN_ERROR_NONE || failure.specific != 0;
    }
    failure.connect = m_connect;
    m_renderer->Failed(failure);
    return status;
}

int CHost::Adapters(bool discover) {
    CAirvane* manager = Manager();
    if (manager == nullptr) {
        return EXIT_NO_ADAPTER;
    }
    const stListWLANAdapter& list = manager->ListWLANAdapter(discover ? 1 : 0, Listener());
    const std::uint32_t count = std::min(list.adapterCount, stListWLANAdapter::kMaxAdapters);
    if (count == 0) {
        return NoUsableAdapter();
    }
    std::vector<stAdapterEntry> adapters;
    for (std::uint32_t i = 0; i < count; ++i) {
        adapters.push_back({FieldText(list.adapterName[i], stListWLANAdapter::kNameBytes),
                            FieldText(list.friendlyName[i], stListWLANAdapter::kNameBytes),
                            InfoText(list.adapterInfo[i], list.adapterInfoLength[i])});
    }
    m_renderer->Adapters(adapters);
    return EXIT_OK;
}

int CHost::SelectAdapter(const std::string& name, bool discover, CAirvane*& selectedOn) {
    CAirvane* const found = Manager();
    if (found == nullptr) {
        return EXIT_NO_ADAPTER;
    }
    CAirvane& manager = *found;
    const stListWLANAdapter& list = manager.ListWLANAdapter(discover ? 1 : 0, Listener());
    bool listed = false;
    const std::uint32_t count = std::min(list.adapterCount, stListWLANAdapter::kMaxAdapters);
    for (std::uint32_t i = 0; i < count && !listed; ++i) {
        listed = FieldText(list.adapterName[i], stListWLANAdapter::kNameBytes) == name;
    }
    if (count == 0) {
        return NoUsableAdapter();
    }
    if (!listed) {
        return Failure(EXIT_NOT_FOUND,
                       "adapter '" + name +
                           "' is not available: it is not configured or its device is absent" +
                           (discover ? "" : " (a hot-plugged adapter needs --discover)"),
                       false);
    }
    if (name != manager.SelectedWLANAdapter()) {
        manager.SelectWLANAdapter(name.c_str(), Listener());
        if (name != manager.SelectedWLANAdapter()) {
            return Failure(EXIT_FAILED, "adapter '" + name + "' refused the selection", true);
        }
    }
    selectedOn = found;
    return EXIT_OK;
}

stSupport CHost::Support(CAirvane& manager) const {
    static const enWLANSecureMethodUID kMethods[] = {WLAN_SECURE_NONE, WLAN_SECURE_WEP, WLAN_SECURE_WEPPLUS,
                                                     WLAN_SECURE_WPAPSK};
    stSupport support;
    for (const enWLANSecureMethodUID uid : kMethods) {
        if (manager.IsSecureMethodSupported(uid, nullptr) != 0) {
            support.methods.push_back(uid);
        }
    }
    // The WPA family's capabilities object belongs to the caller.
    IWLANSecureCapabilities* raw = nullptr;
    const int wpa = manager.IsSecureMethodSupported(WLAN_SECURE_WPA, &raw);
    const std::unique_ptr<IWLANSecureCapabilities, stCapabilitiesDeleter> capabilities(raw);
    if (wpa != 0) {
        if (const auto* wpaCapabilities =
                dynamic_cast<const CWLANWPAGenSecureCapabilities*>(capabilities.get())) {
            support.maxCipher = CipherText(wpaCapabilities->GetMaxSupportedCipher());
        }
    }
    return support;
}

int CHost::Scan(const std::string& adapter, bool discover) {
    CAirvane* manager = nullptr;
    const int selected = SelectAdapter(adapter, discover, manager);
    return selected != EXIT_OK ? selected : ShowState(*manager, adapter, true);
}

int CHost::Status(const std::string& adapter, bool discover) {
    std::string name = adapter;
    if (name.empty()) {
        CAirvane* manager = Manager();
        if (manager == nullptr) {
            return EXIT_NO_ADAPTER;
        }
        name = manager->SelectedWLANAdapter();
        if (name.empty()) {
            const stListWLANAdapter& list = manager->ListWLANAdapter(discover ? 1 : 0, Listener());
            if (list.adapterCount == 0) {
                return NoUsableAdapter();
            }
            name = FieldText(list.adapterName[0], stListWLANAdapter::kNameBytes);
        }
    }
    CAirvane* manager = nullptr;
    const int selected = SelectAdapter(name, discover, manager);
    return selected != EXIT_OK ? selected : ShowState(*manager, name, false);
}

int CHost::ShowState(CAirvane& manager, const std::string& adapter, bool networks) {
    CWLANState state;
    if (manager.GetNetworkState(state, Listener()) == 0) {
        return Failure(EXIT_FAILED, "cannot read the network state of '" + adapter + "'", true);
    }
    const char* friendly = manager.SelectedWLANAdapterFriendlyName();
    stStateReport report;
    report.adapter = adapter;
    report.friendlyName = friendly != nullptr ? friendly : "";
    report.link = state.m_status;
    report.security = ClassifySecurity(state);
    report.support = Support(manager);
    report.listNetworks = networks;
    report.networksInRange = std::min(state.m_count, CWLANState::kMaxNetworks);
    for (std::uint32_t i = 0; networks && i < report.networksInRange; ++i) {
        report.networks.push_back(
            {FieldText(state.m_ssid[i], CWLANState::kSSIDSlotBytes), state.m_quality[i]});
    }
    m_renderer->State(report);
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
    if (request.ssid.empty() || request.ssid.size() > kMaxSSIDBytes) {
        return UsageError("--ssid: a network name has 1 to 32 bytes (this one has " +
                          std::to_string(request.ssid.size()) + ")");
    }
    // Negated comparisons so that NaN fails them too.
    if (!(request.timeoutSeconds >= 0 && request.timeoutSeconds <= kMaxTimeoutSeconds)) {
        return UsageError("--timeout: give seconds from 0 to 3600");
    }
    if (!(request.pollMilliseconds >= kMinPollMilliseconds &&
          request.pollMilliseconds <= kMaxPollMilliseconds)) {
        return UsageError("--poll-interval: give milliseconds from 1 to 60000");
    }
    if (uid == WLAN_SECURE_WEPPLUS && !IsValidKeyPath(request.wepPlusKeyPath)) {
        return UsageError("--wepplus-key-path: '" + request.wepPlusKeyPath +
                          "' is not a registry key path such as " + kDefaultWepPlusKeyPath);
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
    stConnectContext context{request.adapter, request.ssid, SecurityName(uid), {}};
    // Every failure from here on carries the connection's context.
    const CConnectScope scope(m_connect, context);
    if (uid == WLAN_SECURE_WEPPLUS) {
        const int store = CheckKeyStore(request, "before connecting");
        if (store != EXIT_OK) {
            return store;
        }
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
        return Failure(EXIT_FAILED, "cannot build the connection profile", false);
    }
    m_renderer->Connecting(context);
    if (manager->Connect(profile, Listener()) == 0) {
        return Failure(ConnectFailureStatus(manager->GetGeneriqueLastError()),
                       "connecting to '" + request.ssid + "' failed", true);
    }
    return FollowConnection(*manager, request, uid, context);
}

int CHost::CheckKeyStore(const stConnectRequest& request, const std::string& when) {
    std::uint32_t root = 0;
    std::string subKey;
    platform::RegKeyHandle key = nullptr;
    const bool writable =
        RegistryParsePath(request.wepPlusKeyPath.c_str(), root, subKey) != 0 &&
        platform::RegistryCreateKey(root, subKey.c_str(), key) == platform::RegResult::Success;
    platform::RegistryCloseKey(key);
    if (writable) {
        return EXIT_OK;
    }
    return Failure(EXIT_KEY_STORE,
                   "the WEP Plus key store cannot be written " + when + " (key " + request.wepPlusKeyPath +
                       "): it is locked by another process, not a store, or readable by others; see "
                       "AIRVANE_REGISTRY",
                   false);
}

int CHost::FollowConnection(CAirvane& manager, const stConnectRequest& request, enWLANSecureMethodUID uid,
                            stConnectContext& context) {
    // Each change of link status or security state is an event, shown as it comes and kept
    // for the final report.
    auto event = [&](const std::string& kind, const std::string& text, std::int32_t value) {
        context.events.push_back({kind, value, text});
        m_renderer->Event(context.events.back());
    };

    // Poll until the link is up (and keyed), the adapter reports an error or time runs out.
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(request.timeoutSeconds));
    const auto poll = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double, std::milli>(request.pollMilliseconds));
    std::int32_t lastStatus = -1;
    std::string lastSecurity;
    CWLANState state;
    for (;;) {
        if (manager.GetNetworkState(state, Listener()) == 0) {
            return Failure(EXIT_FAILED, "reading the network state failed", true);
        }
        if (state.m_status != lastStatus) {
            lastStatus = state.m_status;
            event("link", LinkStatusText(state.m_status), state.m_status);
        }
        const stSecurityState security = ClassifySecurity(state);
        if (security.value >= 0 && security.Text() != lastSecurity) {
            lastSecurity = security.Text();
            event("security", lastSecurity, security.value);
        }
        const en_WLANLastError error = manager.GetGeneriqueLastError();
        if (error != WLAN_ERROR_NONE) {
            return Failure(ConnectFailureStatus(error), "connecting to '" + request.ssid + "' failed", true);
        }
        const bool associated = state.m_status == WLAN_LINK_ASSOCIATED;
        if ((uid == WLAN_SECURE_WPAPSK && security.completed) ||
            (uid == WLAN_SECURE_WEPPLUS && associated && security.keyed) ||
            ((uid == WLAN_SECURE_NONE || uid == WLAN_SECURE_WEP) && associated)) {
            // The renewed WEP Plus key went to the store while the link came up.
            if (uid == WLAN_SECURE_WEPPLUS) {
                const int store = CheckKeyStore(request, "after the key renewal");
                if (store != EXIT_OK) {
                    return store;
                }
            }
            m_renderer->Connected(stConnectReport{&context, state.m_status, security});
            return EXIT_OK;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            // Leave no half-made link behind: the adapter would go on trying on its own.
            manager.Disconnect(Listener());
            std::ostringstream message;
            message << "timed out after " << request.timeoutSeconds << " s connecting to '" << request.ssid
                    << "' (link " << LinkStatusText(state.m_status) << ", security " << security.Text()
                    << "); disconnected";
            return Failure(EXIT_TIMEOUT, message.str(), false);
        }
        std::this_thread::sleep_for(std::min(poll, deadline - now));
    }
}

int CHost::Disconnect(const std::string& adapter, bool discover) {
    CAirvane* manager = nullptr;
    const int selected = SelectAdapter(adapter, discover, manager);
    if (selected != EXIT_OK) {
        return selected;
    }
    if (manager->Disconnect(Listener()) == 0) {
        return Failure(EXIT_FAILED, "disconnecting '" + adapter + "' failed", true);
    }
    m_renderer->Disconnected(adapter);
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
                EXIT_FAILED,
                "element " + std::to_string(i + 1) + " is not a valid WPA or RSN information element", false);
        }
    }
    m_renderer->IEDecoded(stIEReport{flags, IEFlagNames(flags)});
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
        return Failure(EXIT_FAILED, "the flags name no protocol: give PROTO_WPA or PROTO_RSN", false);
    }
    m_renderer->IEEncoded(hex::Encode(buffer, static_cast<std::size_t>(length)), length);
    return EXIT_OK;
}

int CHost::ConfigCheck(const std::string& file) {
    // A file that opens but cannot be read (a folder, an I/O error) is as unreadable as a
    // missing one; istream::read turns the stream buffer's exception into badbit.
    std::ifstream stream(file, std::ios::binary);
    std::string text;
    char chunk[4096];
    while (stream && (stream.read(chunk, sizeof chunk), stream.gcount() > 0)) {
        text.append(chunk, static_cast<std::size_t>(stream.gcount()));
    }
    if (!stream.is_open() || stream.bad()) {
        return Failure(EXIT_NO_ADAPTER, "cannot read " + file, false);
    }
    stConfigReport report;
    report.file = file;
    stXMLNode* root = XMLLoadFile(file.c_str());
    report.tree = DescribeTree(root);
    XMLFreeTree(root);
    report.findings = FindReaderTraps(text);
    m_renderer->ConfigChecked(report);
    return EXIT_OK;
}

} // namespace airvane::cli
