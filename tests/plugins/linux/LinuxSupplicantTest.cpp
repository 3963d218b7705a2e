// The wpa_supplicant module (wpa_stub.dll for Linux adapters), loaded by path and run against
// a fake control socket: the network block as control commands, wpa_state and events as
// context states, a rejected key, and the failures that must yield no context.

#include "airvane/platform/Module.h"
#include "airvane/security/WPAStubContext.h"
#include "plugins/linux/LinuxWpaPeer.h"
#include "tests/plugins/linux/FakeWpaSupplicant.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace airvane::linux_wlan {
namespace {

using test::CFakeWpaSupplicant;

constexpr const char kInterface[] = "wlan9";

class CPeer final : public ILinuxWpaPeer {
public:
    explicit CPeer(std::string folder) : m_folder(std::move(folder)) {}
    const char* GetInterfaceName() override { return kInterface; }
    const char* GetControlDir() override { return m_folder.c_str(); }
    void OnHandshakeFailed() override { ++failures; }
    int failures = 0;

private:
    std::string m_folder;
};

std::string LibraryBlock(const std::string& ssid, const std::string& psk) {
    return "network={\n\t\t\t\t\tssid=\"" + ssid + "\"\n\t\t\t\t\tpsk=" + psk +
           "\n\t\t\t\t\tpriority=1\n\t\t\t\t\tkey_mgmt=WPA-PSK\n\t\t\t\t\t}\n";
}

class LinuxSupplicantTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::ModuleHandle module = platform::LoadModule(AIRVANE_LINUX_WPA_STUB_PATH);
        ASSERT_NE(module, nullptr) << platform::LastModuleLoadError();
        m_load = reinterpret_cast<WPAContextLoadFn>(platform::GetModuleExport(module, "WPAContextLoad"));
        m_free = reinterpret_cast<WPAContextFreeFn>(platform::GetModuleExport(module, "WPAContextFree"));
        ASSERT_NE(m_load, nullptr);
        ASSERT_NE(m_free, nullptr);
    }

    IWPAStubContext* Load(const std::string& block) { return m_load(block.c_str(), ToWpaAdapter(&m_peer)); }

    test::CTempDir m_dir;
    CPeer m_peer{m_dir.Path()};
    WPAContextLoadFn m_load = nullptr;
    WPAContextFreeFn m_free = nullptr;
};

TEST_F(LinuxSupplicantTest, BlockBecomesTaggedNetworkAndFreeRemovesOnlyIt) {
    const struct {
        std::string ssid;
        std::string psk;
        std::string ssidHex;
        std::string pskValue;
    } cases[] = {
        {"Lab Net", "\"correct horse\"", "4c6162204e6574", "\"correct horse\""},
        {"a\"b", std::string(64, 'A'), "612262", std::string(64, 'A')},
    };
    for (const auto& c : cases) {
        CFakeWpaSupplicant fake(m_dir.Path(), kInterface);
        IWPAStubContext* context = Load(LibraryBlock(c.ssid, c.psk));
        ASSERT_NE(context, nullptr) << c.ssid;
        m_free(context);
        const std::vector<std::string> expected = {
            "ATTACH",
            "ADD_NETWORK",
            "SET_NETWORK 0 ssid " + c.ssidHex,
            "SET_NETWORK 0 psk " + c.pskValue,
            "SET_NETWORK 0 priority 1",
            "SET_NETWORK 0 key_mgmt WPA-PSK",
            "SET_NETWORK 0 id_str \"airvane\"",
            "SELECT_NETWORK 0",
            "STATUS",
            "REMOVE_NETWORK 0",
        };
        EXPECT_EQ(fake.Commands(), expected) << c.ssid;
    }
}

TEST_F(LinuxSupplicantTest, RunMapsWpaStateOfItsOwnNetwork) {
    const struct {
        const char* status;
        std::int32_t state;
    } cases[] = {
        {"wpa_state=DISCONNECTED\n", 1},     {"wpa_state=INACTIVE\n", 1},
        {"wpa_state=SCANNING\n", 2},         {"wpa_state=AUTHENTICATING\n", 3},
        {"id=0\nwpa_state=ASSOCIATED\n", 3}, {"id=0\nwpa_state=4WAY_HANDSHAKE\n", 4},
        {"wpa_state=GROUP_HANDSHAKE\n", 5},  {"bssid=02:00:00:00:00:00\nid=0\nwpa_state=COMPLETED\n", 6},
        {"id=3\nwpa_state=COMPLETED\n", 1},  {"wpa_state=SOMETHING_NEW\n", 0},
    };
    CFakeWpaSupplicant fake(m_dir.Path(), kInterface);
    IWPAStubContext* context = Load(LibraryBlock("Net", "\"12345678\""));
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->GetState(), 2); // the fake's default status right after loading
    for (const auto& c : cases) {
        fake.SetReply([&c](const std::string& command) {
            return command == "STATUS" ? std::string(c.status) : CFakeWpaSupplicant::DefaultReply(command);
        });
        context->Command(3);
        context->Run();
        EXPECT_EQ(context->GetState(), c.state) << c.status;
    }
    m_free(context);
}

TEST_F(LinuxSupplicantTest, WrongKeyEventDisablesNetworkAndReportsFailureOnce) {
    CFakeWpaSupplicant fake(m_dir.Path(), kInterface);
    IWPAStubContext* context = Load(LibraryBlock("Net", "\"12345678\""));
    ASSERT_NE(context, nullptr);
    fake.SendEvent(
        "CTRL-EVENT-SSID-TEMP-DISABLED id=7 ssid=\"Other\" auth_failures=1 duration=10 reason=WRONG_KEY");
    fake.SendEvent(
        "CTRL-EVENT-SSID-TEMP-DISABLED id=0 ssid=\"Net\" auth_failures=1 duration=10 reason=CONN_FAILED");
    context->Run();
    EXPECT_EQ(m_peer.failures, 0);
    EXPECT_EQ(context->GetState(), 2);

    fake.SendEvent(
        "CTRL-EVENT-SSID-TEMP-DISABLED id=0 ssid=\"Net\" auth_failures=1 duration=10 reason=WRONG_KEY");
    fake.SetReply([](const std::string& command) {
        return command == "STATUS" ? std::string("wpa_state=SCANNING\n")
                                   : CFakeWpaSupplicant::DefaultReply(command);
    });
    context->Run();
    context->Run();
    EXPECT_EQ(m_peer.failures, 1);
    EXPECT_EQ(context->GetState(), 1); // fixed at disconnected, whatever wpa_supplicant does next
    const std::vector<std::string> commands = fake.Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "DISABLE_NETWORK 0"), 1);
    m_free(context);
}

TEST_F(LinuxSupplicantTest, NoContextWhenSupplicantIsAbsentRefusesOrBlockIsBad) {
    EXPECT_EQ(Load(LibraryBlock("Net", "\"12345678\"")), nullptr); // no socket at all
    EXPECT_EQ(m_load(LibraryBlock("Net", "\"12345678\"").c_str(), nullptr), nullptr);

    const struct {
        const char* refused; // command answered with FAIL
        std::string block;
        bool removesNetwork;
    } cases[] = {
        {"ADD_NETWORK", LibraryBlock("Net", "\"12345678\""), false},
        {"SET_NETWORK 0 psk \"1234567\"", LibraryBlock("Net", "\"1234567\""), true},
        {"SELECT_NETWORK 0", LibraryBlock("Net", "\"12345678\""), true},
        {"ATTACH", LibraryBlock("Net", "\"12345678\""), false},
        {"", "ssid=\"Net\"\n", false},
        {"", "network={\nssid=\"Net\"\n", false},
        {"", "network={\nssid=Net\n}\n", false},
        {"", "network={\nssid=\"N\tet\"\n}\n", false},
    };
    for (const auto& c : cases) {
        CFakeWpaSupplicant fake(m_dir.Path(), kInterface, [&c](const std::string& command) {
            return command == c.refused ? std::string("FAIL\n") : CFakeWpaSupplicant::DefaultReply(command);
        });
        EXPECT_EQ(Load(c.block), nullptr) << c.refused << c.block;
        const std::vector<std::string> commands = fake.Commands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "REMOVE_NETWORK 0"), c.removesNetwork ? 1 : 0)
            << c.refused;
    }
}

} // namespace
} // namespace airvane::linux_wlan
