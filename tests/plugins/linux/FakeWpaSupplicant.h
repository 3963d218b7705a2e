#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace airvane::test {

// A stand-in for wpa_supplicant's control socket: a local datagram socket at
// <folder>/<interface> served by a thread. Every command is recorded; `reply` chooses the
// answer (the default answers ADD_NETWORK with "0\n", STATUS with wpa_state=SCANNING and
// everything else with "OK\n"). Clients that sent ATTACH receive the events of SendEvent.
class CFakeWpaSupplicant {
public:
    using ReplyFn = std::function<std::string(const std::string& command)>;

    CFakeWpaSupplicant(const std::string& folder, const std::string& interfaceName, ReplyFn reply = nullptr);
    ~CFakeWpaSupplicant();
    CFakeWpaSupplicant(const CFakeWpaSupplicant&) = delete;
    CFakeWpaSupplicant& operator=(const CFakeWpaSupplicant&) = delete;

    static std::string DefaultReply(const std::string& command);
    void SendEvent(const std::string& event);
    std::vector<std::string> Commands();

private:
    void Serve();

    std::string m_path;
    int m_socket;
    int m_stop[2];
    std::mutex m_mutex;
    ReplyFn m_reply;
    std::vector<std::string> m_commands;
    std::vector<sockaddr_un> m_attached;
    std::vector<socklen_t> m_attachedLengths;
    std::thread m_thread;
};

} // namespace airvane::test
