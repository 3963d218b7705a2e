#include "plugins/linux/ctrl/WpaControl.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace airvane::linux_wlan {

namespace {

// wpa_supplicant's replies are at most 4 KB; scan result listings can be larger.
constexpr std::size_t kMaxMessage = 16384;

bool IsEventMessage(const std::string& message) {
    return message.size() >= 3 && message[0] == '<' && message.find('>') != std::string::npos;
}

// Whole milliseconds from now until `deadline`, rounded up; 0 once it has passed.
int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

} // namespace

std::string ControlSocketPath(const std::string& folder, const std::string& interfaceName) {
    std::string path = folder;
    if (path.empty() || interfaceName.empty() || interfaceName.find('/') != std::string::npos) {
        return std::string();
    }
    if (path.back() != '/') {
        path += '/';
    }
    path += interfaceName;
    return path.size() < sizeof(sockaddr_un::sun_path) ? path : std::string();
}

CWpaControl::~CWpaControl() {
    Close();
}

void CWpaControl::Close() {
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
    m_pendingEvents.clear();
}

bool CWpaControl::Open(const std::string& folder, const std::string& interfaceName, std::string& error) {
    Close();
    m_path = ControlSocketPath(folder, interfaceName);
    if (m_path.empty()) {
        error = "invalid control socket path";
        return false;
    }
    return Connect(error);
}

bool CWpaControl::Connect(std::string& error) {
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    // Binding only the family makes the kernel choose an abstract address for replies.
    sockaddr_un local{};
    local.sun_family = AF_UNIX;
    sockaddr_un remote{};
    remote.sun_family = AF_UNIX;
    std::memcpy(remote.sun_path, m_path.c_str(), m_path.size() + 1);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(sa_family_t)) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        error = m_path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    m_socket = fd;
    return true;
}

bool CWpaControl::Receive(std::string& message, int timeoutMs) {
    pollfd waiting{m_socket, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&waiting, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        return false;
    }
    std::vector<char> buffer(kMaxMessage);
    const ssize_t got = ::recv(m_socket, buffer.data(), buffer.size(), 0);
    if (got < 0) {
        return false;
    }
    message.assign(buffer.data(), static_cast<std::size_t>(got));
    return true;
}

bool CWpaControl::Request(const std::string& command, std::string& reply, int timeoutMs) {
    // A daemon that stopped reading leaves its queue full, and a blocking send would wait for
    // it forever. The request fails at once instead; nothing went out, so no late reply can
    // follow and the socket stays.
    if (m_socket < 0 || ::send(m_socket, command.data(), command.size(), MSG_DONTWAIT) < 0) {
        return false;
    }
    // One deadline for the whole request: events arriving meanwhile do not extend the wait.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string message;
    while (Receive(message, RemainingMs(deadline))) {
        if (!IsEventMessage(message)) {
            reply = message;
            return true;
        }
        m_pendingEvents += message.substr(message.find('>') + 1) + '\n';
    }
    // The reply may still come and would then be read as the answer to the next command.
    // The next commands go out on a fresh socket instead; opened while the old one still
    // holds its address, it gets another, so the late reply can never reach it.
    const int unanswered = m_socket;
    m_socket = -1;
    std::string error;
    Connect(error);
    ::close(unanswered);
    return false;
}

bool CWpaControl::RequestOk(const std::string& command) {
    std::string reply;
    return Request(command, reply) && reply.compare(0, 2, "OK") == 0;
}

bool CWpaControl::Attach() {
    return RequestOk("ATTACH");
}

bool CWpaControl::ReadEvent(std::string& event, int timeoutMs) {
    const std::size_t end = m_pendingEvents.find('\n');
    if (end != std::string::npos) {
        event = m_pendingEvents.substr(0, end);
        m_pendingEvents.erase(0, end + 1);
        return true;
    }
    std::string message;
    while (Receive(message, timeoutMs)) {
        if (IsEventMessage(message)) {
            event = message.substr(message.find('>') + 1);
            return true;
        }
    }
    return false;
}

} // namespace airvane::linux_wlan
