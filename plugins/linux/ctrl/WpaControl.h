#pragma once

#include <string>

namespace airvane::linux_wlan {

// Folder where wpa_supplicant creates one control socket per interface unless told
// otherwise (its ctrl_interface setting).
inline constexpr const char kDefaultControlDir[] = "/var/run/wpa_supplicant";

// Client of wpa_supplicant's control interface: a local datagram socket connected to
// <folder>/<interface>. Requests are one text command each, answered by one datagram.
// The client's own address is an abstract one chosen by the kernel, so a process that ends
// without closing leaves nothing behind in the file system.
class CWpaControl {
public:
    CWpaControl() = default;
    CWpaControl(const CWpaControl&) = delete;
    CWpaControl& operator=(const CWpaControl&) = delete;
    ~CWpaControl();

    // Connects to the interface's control socket; false with a reason when the socket is
    // missing or refuses the connection.
    bool Open(const std::string& folder, const std::string& interfaceName, std::string& error);
    bool IsOpen() const { return m_socket >= 0; }
    void Close();

    // Sends `command` and waits up to `timeoutMs` in all for its reply, skipping unsolicited
    // event messages ("<N>..."). False when the socket fails, wpa_supplicant's queue is full
    // (the command is then not sent; sending never blocks) or no reply arrives. A reply
    // that comes later could not be told from the next command's, so after a command goes
    // unanswered the socket is replaced by a fresh one (a new address the late reply cannot
    // reach); events already read stay readable, but the new socket is not attached. When
    // that reopening fails, IsOpen() is false and later requests fail until Open.
    bool Request(const std::string& command, std::string& reply, int timeoutMs);
    // Request with the wait set by SetRequestTimeout (kRequestTimeoutMs unless set).
    bool Request(const std::string& command, std::string& reply) {
        return Request(command, reply, m_requestTimeoutMs);
    }
    void SetRequestTimeout(int timeoutMs) { m_requestTimeoutMs = timeoutMs; }
    // Request whose reply must be "OK".
    bool RequestOk(const std::string& command);

    // Registers this socket for event messages (ATTACH).
    bool Attach();
    // Next pending event message without its "<N>" priority prefix; false when none
    // arrives within `timeoutMs`.
    bool ReadEvent(std::string& event, int timeoutMs);

    static constexpr int kRequestTimeoutMs = 3000;

private:
    // A new socket connected to m_path; false with a reason.
    bool Connect(std::string& error);
    // One datagram within `timeoutMs`; false on timeout or error.
    bool Receive(std::string& message, int timeoutMs);

    int m_socket = -1;
    int m_requestTimeoutMs = kRequestTimeoutMs;
    std::string m_path;          // the control socket, kept to reopen after an unanswered request
    std::string m_pendingEvents; // events read while waiting for a reply, one per line
};

// The control socket's path, or "" when it would not fit a local socket address.
std::string ControlSocketPath(const std::string& folder, const std::string& interfaceName);

} // namespace airvane::linux_wlan
