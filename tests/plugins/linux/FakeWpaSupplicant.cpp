#include "tests/plugins/linux/FakeWpaSupplicant.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace airvane::test {

CFakeWpaSupplicant::CFakeWpaSupplicant(const std::string& folder, const std::string& interfaceName,
                                       ReplyFn reply)
    : m_path(folder + "/" + interfaceName),
      m_socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)), m_stop{-1, -1},
      m_reply(reply ? std::move(reply) : ReplyFn(DefaultReply)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, m_path.c_str(), sizeof address.sun_path - 1);
    if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::pipe(m_stop) != 0) {
        throw std::runtime_error("fake wpa_supplicant: cannot bind " + m_path);
    }
    m_thread = std::thread([this] { Serve(); });
}

CFakeWpaSupplicant::~CFakeWpaSupplicant() {
    const char stop = 0;
    (void)!::write(m_stop[1], &stop, 1);
    m_thread.join();
    ::close(m_stop[0]);
    ::close(m_stop[1]);
    ::close(m_socket);
    ::unlink(m_path.c_str());
}

std::string CFakeWpaSupplicant::DefaultReply(const std::string& command) {
    if (command == "ADD_NETWORK") {
        return "0\n";
    }
    if (command == "STATUS") {
        return "wpa_state=SCANNING\n";
    }
    return "OK\n";
}

std::vector<std::string> CFakeWpaSupplicant::Commands() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

void CFakeWpaSupplicant::SendEvent(const std::string& event) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::string message = "<3>" + event;
    for (std::size_t i = 0; i < m_attached.size(); ++i) {
        ::sendto(m_socket, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&m_attached[i]),
                 m_attachedLengths[i]);
    }
}

void CFakeWpaSupplicant::Serve() {
    pollfd waiting[2] = {{m_socket, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
    char buffer[4096];
    while (::poll(waiting, 2, -1) > 0 && (waiting[1].revents & POLLIN) == 0) {
        sockaddr_un from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got =
            ::recvfrom(m_socket, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < 0) {
            continue;
        }
        const std::string command(buffer, static_cast<std::size_t>(got));
        std::string answer;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_commands.push_back(command);
            if (command == "ATTACH") {
                m_attached.push_back(from);
                m_attachedLengths.push_back(fromLength);
            }
            answer = m_reply(command);
        }
        ::sendto(m_socket, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
    }
}

} // namespace airvane::test
