#pragma once

#include "airvane/security/SecureMethod.h"
#include "tools/airvane/TraceListener.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

class CAirvane;
class CWLANProfil;
class CWLANState;

namespace airvane::cli {

// Exit statuses of the airvane command.
enum enExitStatus : int {
    EXIT_OK = 0,     // the operation succeeded
    EXIT_FAILED = 1, // the operation failed (no configuration, unknown adapter, refused, ...)
    EXIT_USAGE = 2,  // the command line is wrong (unknown option, bad hex, ...)
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
    std::uint32_t pollMilliseconds = 100;
    bool discover = false;
};

// The host side of every command: it reaches the adapters only through the library's
// public interface (CAirvane, CWLANProfil, CWLANState, the secure method classes and the
// information element codec). One host serves a whole shell session, so a sequence of
// commands runs against one manager.
class CHost {
public:
    CHost(const stHostOptions& options, std::ostream& out, std::ostream& err);
    CHost(const CHost&) = delete;
    CHost& operator=(const CHost&) = delete;

    int Adapters(bool discover);
    int Scan(const std::string& adapter, bool discover);
    int Connect(const stConnectRequest& request);
    int Disconnect(const std::string& adapter, bool discover);
    int DecodeIE(const std::vector<std::string>& elements);
    int EncodeIE(const std::vector<std::string>& flagTexts);

    // Prints a usage error (the command line parser reports its own) and returns EXIT_USAGE.
    int UsageError(const std::string& message);

private:
    class CConnection;

    // Usage checks of `connect`; fills the method identifier and the key bytes.
    int CheckConnectRequest(const stConnectRequest& request, enWLANSecureMethodUID& uid,
                            std::vector<std::uint8_t>& key);
    // Sets the key, pass phrase or key path on the profile's method; false when refused.
    bool FillProfile(CWLANProfil& profile, const stConnectRequest& request,
                     const std::vector<std::uint8_t>& key);
    // Polls the network state after a successful Connect and reports the outcome.
    int FollowConnection(CAirvane& manager, const stConnectRequest& request, enWLANSecureMethodUID uid);
    IWLANListener* Listener();
    // The manager, built on first use from WLANInterfaces.xml in the current folder; null
    // (with a message) when that file is missing.
    CAirvane* Manager();
    // Builds the manager, lists the adapters and selects `name`; EXIT_OK (with `selectedOn`
    // set to the manager) when it is selected, else the exit status, with a message printed.
    int SelectAdapter(const std::string& name, bool discover, CAirvane*& selectedOn);
    // Prints an operation failure, with the adapter's last error when `withAdapterError`;
    // `jsonFields` (",name:value..." pairs) go into the JSON document.
    int Failure(const std::string& message, bool withAdapterError,
                const std::string& jsonFields = std::string());
    std::string SecurityStateText(const CWLANState& state) const;
    std::string SecurityStateJson(const CWLANState& state) const;
    std::string SupportText(CAirvane& manager, std::string& json) const;

    stHostOptions m_options;
    std::ostream& m_out;
    std::ostream& m_err;
    CTraceListener m_listener;
    CAirvane* m_manager;
};

} // namespace airvane::cli
