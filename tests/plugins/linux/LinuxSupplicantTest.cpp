// The wpa_supplicant module (wpa_stub.dll for Linux adapters), loaded by path and run against
// a fake control socket through the transcripts of cases/supplicant.txt: the network block as
// control commands, wpa_state and events as context states, a rejected key, and the failures
// that must yield no context.

#include "airvane/platform/Module.h"
#include "airvane/security/WPAStubContext.h"
#include "plugins/linux/LinuxWpaPeer.h"
#include "plugins/linux/ctrl/WpaControl.h"
#include "plugins/linux/ctrl/WpaNetwork.h"
#include "tests/support/CaseFile.h"
#include "tests/support/TestSupport.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace airvane::linux_wlan {
namespace {

constexpr const char kInterface[] = "wlan9";
constexpr const char kListHeadings[] = "network id / ssid / bssid / flags\n";

// A stand-in for wpa_supplicant's control socket: a local datagram socket at <folder>/wlan9
// served by a thread. Every command is recorded and answered as Reply set (after its delay, during
// which no other command is served), else ADD_NETWORK with "0\n", STATUS with wpa_state=SCANNING,
// LIST_NETWORKS with its headings alone and anything else with "OK\n"; ReplyAfter changes an
// answer once another command has been answered. Clients that sent ATTACH receive the events of
// SendEvent.
class CFakeWpaSupplicant {
public:
    explicit CFakeWpaSupplicant(const std::string& folder) : m_path(folder + "/" + kInterface) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, m_path.c_str(), sizeof address.sun_path - 1);
        if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::pipe(m_stop) != 0) {
            throw std::runtime_error("fake wpa_supplicant: cannot bind " + m_path);
        }
        m_thread = std::thread([this] { Serve(); });
    }
    ~CFakeWpaSupplicant() {
        const char stop = 0;
        (void)!::write(m_stop[1], &stop, 1);
        m_thread.join();
        ::close(m_stop[0]);
        ::close(m_stop[1]);
        ::close(m_socket);
        ::unlink(m_path.c_str());
    }
    void Reply(const std::string& command, const std::string& answer, int delayMs = 0) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_replies[command] = answer;
        m_delays[command] = delayMs;
    }
    void ReplyAfter(const std::string& answered, const std::string& command, const std::string& answer) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_later[answered] = {command, answer};
    }
    void SendEvent(const std::string& event) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const std::string message = "<3>" + event;
        for (auto& [address, length] : m_attached) {
            ::sendto(m_socket, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&address),
                     length);
        }
    }
    std::vector<std::string> Commands() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_commands;
    }

private:
    void Serve() {
        pollfd waiting[2] = {{m_socket, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
        char buffer[4096];
        while (::poll(waiting, 2, -1) > 0 && (waiting[1].revents & POLLIN) == 0) {
            sockaddr_un from{};
            socklen_t fromLength = sizeof from;
            const ssize_t got = ::recvfrom(m_socket, buffer, sizeof buffer, 0,
                                           reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (got < 0) {
                continue;
            }
            const std::string command(buffer, static_cast<std::size_t>(got));
            std::string answer;
            int delayMs = 0;
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_commands.push_back(command);
                if (command == "ATTACH") {
                    m_attached.emplace_back(from, fromLength);
                }
                const auto reply = m_replies.find(command);
                delayMs = reply != m_replies.end() ? m_delays[command] : 0;
                answer = reply != m_replies.end()     ? reply->second
                         : command == "ADD_NETWORK"   ? "0\n"
                         : command == "STATUS"        ? "wpa_state=SCANNING\n"
                         : command == "LIST_NETWORKS" ? kListHeadings
                                                      : "OK\n";
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            ::sendto(m_socket, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from),
                     fromLength);
            const std::lock_guard<std::mutex> lock(m_mutex);
            const auto later = m_later.find(command);
            if (later != m_later.end()) {
                m_replies[later->second.first] = later->second.second;
                m_later.erase(later);
            }
        }
    }

    std::string m_path;
    int m_socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int m_stop[2] = {-1, -1};
    std::mutex m_mutex;
    std::map<std::string, std::string> m_replies;
    std::map<std::string, int> m_delays;
    std::map<std::string, std::pair<std::string, std::string>> m_later;
    std::vector<std::string> m_commands;
    std::vector<std::pair<sockaddr_un, socklen_t>> m_attached;
    std::thread m_thread;
};

struct CPeer final : ILinuxWpaPeer {
    const char* GetInterfaceName() override { return kInterface; }
    const char* GetControlDir() override { return m_folder.c_str(); }
    void OnHandshakeFailed() override { ++failures; }
    std::string m_folder;
    int failures = 0;
};

// Runs the cases of cases/supplicant.txt, which describes the steps.
TEST(LinuxSupplicantTest, Transcripts) {
    platform::ModuleHandle module = platform::LoadModule(AIRVANE_LINUX_WPA_STUB_PATH);
    ASSERT_NE(module, nullptr) << platform::LastModuleLoadError();
    const auto load = reinterpret_cast<WPAContextLoadFn>(platform::GetModuleExport(module, "WPAContextLoad"));
    const auto release =
        reinterpret_cast<WPAContextFreeFn>(platform::GetModuleExport(module, "WPAContextFree"));
    ASSERT_NE(load, nullptr);
    ASSERT_NE(release, nullptr);
    test::CTempDir dir;
    CPeer peer;
    peer.m_folder = dir.Path();
    for (const test::stCase& c : test::ReadCases(AIRVANE_LINUX_CASES "/supplicant.txt")) {
        SCOPED_TRACE(c.name);
        const std::unique_ptr<CFakeWpaSupplicant> fake(
            c.All("no-supplicant").empty() ? new CFakeWpaSupplicant(dir.Path()) : nullptr);
        const std::string block = test::NetworkBlockOf(c);
        IWPAStubContext* context = nullptr;
        const int failuresBefore = peer.failures;
        for (const test::stCaseField& step : c.fields) {
            SCOPED_TRACE(step.key + " " + step.value);
            const std::size_t arrow = step.value.find(" -> ");
            if (step.key == "reply") {
                fake->Reply(step.value.substr(0, arrow), step.value.substr(arrow + 4));
            } else if (step.key == "load" || step.key == "load-unlinked") {
                // Unlinked: the peer object itself, as an adapter of another plug-in would hand over.
                stLinuxWpaPeerLink link{kLinuxWpaPeerMark, &peer};
                context = load(block.c_str(), step.key == "load" ? ToWpaAdapter(&link)
                                                                 : reinterpret_cast<IWpaAdapter*>(&peer));
                EXPECT_EQ(context != nullptr ? "context" : "none", step.value);
            } else if (step.key == "event") {
                fake->SendEvent(step.value);
            } else if (step.key == "command") {
                context->Command(std::stoi(step.value));
            } else if (step.key == "run") {
                context->Run();
            } else if (step.key == "state") {
                EXPECT_EQ(context->GetState(), std::stoi(step.value));
            } else if (step.key == "failures") {
                EXPECT_EQ(peer.failures - failuresBefore, std::stoi(step.value));
            } else if (step.key == "free") {
                release(context);
            }
        }
        std::vector<std::string> sent = c.All("sent");
        if (fake != nullptr && !sent.empty()) {
            EXPECT_EQ(fake->Commands(),
                      sent == std::vector<std::string>{"nothing"} ? std::vector<std::string>() : sent);
        }
    }
    EXPECT_EQ(load(test::NetworkBlock("Net", "\"12345678\"").c_str(), nullptr), nullptr);
}

// A reply that arrives after its request gave up must never be read as the answer to a later
// request: here a late "airvane" for network 0 would otherwise mark network 1 as Airvane's own.
TEST(LinuxSupplicantTest, LateReplyIsNotTakenForTheNextRequest) {
    test::CTempDir dir;
    CFakeWpaSupplicant fake(dir.Path());
    fake.Reply("GET_NETWORK 0 id_str", "\"airvane\"", 300);
    fake.Reply("GET_NETWORK 1 id_str", "\"home\"");
    CWpaControl control;
    std::string error;
    std::string reply;
    ASSERT_TRUE(control.Open(dir.Path(), kInterface, error)) << error;
    EXPECT_FALSE(control.Request("GET_NETWORK 0 id_str", reply, 20));
    ASSERT_TRUE(control.Request("GET_NETWORK 1 id_str", reply, 2000));
    EXPECT_EQ(reply, "\"home\"");
    ASSERT_TRUE(control.Request("STATUS", reply, 2000));
    EXPECT_EQ(reply, "wpa_state=SCANNING\n");
}

// An ADD_NETWORK answered too late may still have added a network, which nothing would ever tag
// or remove: it is removed, found as the blank, disabled network listed above the newest one
// listed before. The blank network that was there before stays.
TEST(LinuxSupplicantTest, NetworkOfAnUnansweredAdditionIsRemoved) {
    test::CTempDir dir;
    CFakeWpaSupplicant fake(dir.Path());
    const std::string before = std::string(kListHeadings) + "0\t\tany\t[DISABLED]\n1\tHome\tany\t[CURRENT]\n";
    fake.Reply("LIST_NETWORKS", before);
    // Answered 700 ms late, after the request's 500 ms wait; the listing sent then waits behind
    // it, is served within its own wait and shows network 2.
    fake.Reply("ADD_NETWORK", "2\n", 700);
    fake.ReplyAfter("ADD_NETWORK", "LIST_NETWORKS", before + "2\t\tany\t[DISABLED]\n");
    CWpaControl control;
    control.SetRequestTimeout(500);
    std::string error;
    ASSERT_TRUE(control.Open(dir.Path(), kInterface, error)) << error;
    EXPECT_EQ(AddNetwork(control, {{"ssid", "4e6574"}, {"psk", "\"12345678\""}}, error), -1);
    EXPECT_EQ(error, "wpa_supplicant does not answer");
    EXPECT_EQ(fake.Commands(), (std::vector<std::string>{"LIST_NETWORKS", "ADD_NETWORK", "LIST_NETWORKS",
                                                         "REMOVE_NETWORK 2"}));
}

// A wpa_supplicant that stopped answering: every request must still return (false), while
// events keep coming faster than its timeout (each once restarted the wait) and once its queue
// is full (sending waited for room forever).
TEST(LinuxSupplicantTest, RequestsToAStalledSupplicantReturn) {
    test::CTempDir dir;
    const std::string path = dir.Path() + "/" + kInterface;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int stalled = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::bind(stalled, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    CWpaControl control;
    std::string error;
    std::string reply;
    ASSERT_TRUE(control.Open(dir.Path(), kInterface, error)) << error;

    std::atomic<bool> returned{false};
    std::thread events([&] {
        sockaddr_un from{};
        socklen_t length = sizeof from;
        char command[16];
        ::recvfrom(stalled, command, sizeof command, 0, reinterpret_cast<sockaddr*>(&from), &length);
        for (const std::string event = "<3>CTRL-EVENT-SCAN-STARTED "; !returned;) {
            ::sendto(stalled, event.data(), event.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    EXPECT_FALSE(control.Request("STATUS", reply, 50));
    returned = true;
    events.join();

    int queueLength = 10; // the kernel's default for net.unix.max_dgram_qlen
    std::ifstream("/proc/sys/net/unix/max_dgram_qlen") >> queueLength;
    for (int i = 0; i < queueLength + 2; ++i) {
        EXPECT_FALSE(control.Request("STATUS", reply, 5)) << i;
    }
    ::close(stalled);
}

} // namespace
} // namespace airvane::linux_wlan
