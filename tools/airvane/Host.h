#pragma once

#include "airvane/security/SecureMethod.h"
#include "tools/airvane/Report.h"
#include "tools/airvane/TraceListener.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

class CAirvane;
class CWLANProfil;
class CWLANState;

namespace airvane::cli {

class IRenderer;

// Exit statuses of the airvane command (ExitStatusName in Text.h names them for scripts).
enum enExitStatus : int {
    EXIT_OK = 0,         // the operation succeeded
    EXIT_FAILED = 1,     // the operation failed for another reason (refused, driver error, ...)
    EXIT_USAGE = 2,      // the command line is wrong (unknown option, bad hex, SSID too long, ...)
    EXIT_NOT_FOUND = 3,  // the named adapter or network does not exist
    EXIT_AUTH = 4,       // authentication failed (wrong key or pass phrase)
    EXIT_TIMEOUT = 5,    // the connection did not complete in time
    EXIT_NO_ADAPTER = 6, // no usable adapter: configuration missing, plug-ins not loaded, ...
    EXIT_KEY_STORE = 7,  // the WEP Plus key store cannot be written
};

// Default registry key path of the WEP Plus key store.
inline constexpr const char kDefaultWepPlusKeyPath[] = "HKEY_CURRENT_USER\\Software\\Airvane\\WepPlus";

struct stHostOptions {
    bool verbose = false; // print trace lines on the error stream
    bool json = false;    // one JSON document per command on the output stream
};

// What `connect` asks for. `security` says which of the secrets applies.
struct stConnectRequest {
    enum enSecurity {
        SECURITY_OPEN,
        SECURITY_WEP,
        SECURITY_WEPPLUS,
        SECURITY_WPA_PASSPHRASE,
        SECURITY_WPA_KEY
    };

    std::string adapter;
    std::string ssid;
    enSecurity security = SECURITY_OPEN;
    std::string secret; // hex key, or the WPA pass phrase
    std::string wepPlusKeyPath = kDefaultWepPlusKeyPath;
    double timeoutSeconds = 10.0;
    double pollMilliseconds = 100;
    bool discover = false;
};

// The host side of every command: it reaches the adapters only through the library's
// public interface (CAirvane, CWLANProfil, CWLANState, the secure method classes and the
// information element codec). One host serves a whole shell session, so a sequence of
// commands runs against one manager.
class CHost {
public:
    CHost(const stHostOptions& options, std::ostream& out, std::ostream& err);
    ~CHost();
    CHost(const CHost&) = delete;
    CHost& operator=(const CHost&) = delete;

    int Adapters(bool discover);
    int Scan(const std::string& adapter, bool discover);
    int Connect(const stConnectRequest& request);
    int Disconnect(const std::string& adapter, bool discover);
    // The selection's state; `adapter` empty: the current selection, else the first usable adapter.
    int Status(const std::string& adapter, bool discover);
    // Reads `file` as the library reads its configuration and shows what the reader makes of it.
    int ConfigCheck(const std::string& file);
    int DecodeIE(const std::vector<std::string>& elements);
    int EncodeIE(const std::vector<std::string>& flagTexts);

    // Prints a usage error (as one JSON document with --json) and returns EXIT_USAGE.
    int UsageError(const std::string& message);
    // Prints the failure of a command that could not go on (out of memory, say) and returns
    // EXIT_FAILED.
    int CommandStopped(const std::string& message);

private:
    // Points `current` at a connect command's context for the scope's lifetime.
    class CConnectScope {
    public:
        CConnectScope(const stConnectContext*& current, const stConnectContext& context)
            : m_current(current) {
            m_current = &context;
        }
        ~CConnectScope() { m_current = nullptr; }
        CConnectScope(const CConnectScope&) = delete;
        CConnectScope& operator=(const CConnectScope&) = delete;

    private:
        const stConnectContext*& m_current;
    };

    // Usage checks of `connect`; fills the method identifier and the key bytes.
    int CheckConnectRequest(const stConnectRequest& request, enWLANSecureMethodUID& uid,
                            std::vector<std::uint8_t>& key);
    // Sets the key, pass phrase or key path on the profile's method; false when refused.
    bool FillProfile(CWLANProfil& profile, const stConnectRequest& request,
                     const std::vector<std::uint8_t>& key);
    // Polls the network state after a successful Connect and reports the outcome; the
    // changes seen go into `context`.
    int FollowConnection(CAirvane& manager, const stConnectRequest& request, enWLANSecureMethodUID uid,
                         stConnectContext& context);
    IWLANListener* Listener();
    // The manager, built on first use from WLANInterfaces.xml in the current folder; null
    // (with a message) when that file is missing.
    CAirvane* Manager();
    // Builds the manager, lists the adapters and selects `name`; EXIT_OK (with `selectedOn`
    // set to the manager) when it is selected, else the exit status, with a message printed.
    int SelectAdapter(const std::string& name, bool discover, CAirvane*& selectedOn);
    // Reports a failure and returns `status`: the message, the adapter's last error when
    // `withAdapterError`, `reasons`, and the context of the connect command under way.
    int Failure(int status, const std::string& message, bool withAdapterError,
                const std::vector<std::string>& reasons = std::vector<std::string>());
    // Explains an empty adapter list: EXIT_NO_ADAPTER with the reasons found.
    int NoUsableAdapter();
    // Checks that the WEP Plus key store takes writes under the request's key path.
    int CheckKeyStore(const stConnectRequest& request, const std::string& when);
    // Reports the selected adapter's state (and, with `networks`, the networks in range).
    int ShowState(CAirvane& manager, const std::string& adapter, bool networks);
    stSupport Support(CAirvane& manager) const;

    stHostOptions m_options;
    std::unique_ptr<IRenderer> m_renderer;
    CTraceListener m_listener;
    CAirvane* m_manager;
    const stConnectContext* m_connect; // the connect command under way, else null
};

} // namespace airvane::cli
