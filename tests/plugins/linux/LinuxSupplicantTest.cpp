// The wpa_supplicant module (wpa_stub.dll for Linux adapters), loaded by path and run against
// a fake control socket through the transcripts of cases/supplicant.txt: the network block as
// control commands, wpa_state and events as context states, a rejected key, and the failures
// that must yield no context.

#include "airvane/platform/Module.h"
#include "airvane/security/WPAStubContext.h"
#include "plugins/linux/LinuxWpaPeer.h"
#include "tests/plugins/linux/FakeWpaSupplicant.h"
#include "tests/support/CaseFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
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

// Runs the cases of cases/supplicant.txt, which describes the steps.
TEST_F(LinuxSupplicantTest, Transcripts) {
    for (const test::stCase& c : test::ReadCases(AIRVANE_LINUX_CASES "/supplicant.txt")) {
        SCOPED_TRACE(c.name);
        auto replies = std::make_shared<std::map<std::string, std::string>>();
        std::unique_ptr<CFakeWpaSupplicant> fake;
        if (c.All("no-supplicant").empty()) {
            fake = std::make_unique<CFakeWpaSupplicant>(
                m_dir.Path(), kInterface, [replies](const std::string& command) {
                    const auto reply = replies->find(command);
                    return reply != replies->end() ? reply->second
                                                   : CFakeWpaSupplicant::DefaultReply(command);
                });
        }
        const std::string block =
            c.All("block").empty() ? LibraryBlock(c.Get("ssid"), c.Get("psk")) : c.Get("block");
        IWPAStubContext* context = nullptr;
        const int failuresBefore = m_peer.failures;
        for (const test::stCaseField& step : c.fields) {
            SCOPED_TRACE(step.key + " " + step.value);
            const std::size_t arrow = step.value.find(" -> ");
            if (step.key == "reply") {
                (*replies)[step.value.substr(0, arrow)] = step.value.substr(arrow + 4);
            } else if (step.key == "load") {
                context = Load(block);
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
                EXPECT_EQ(m_peer.failures - failuresBefore, std::stoi(step.value));
            } else if (step.key == "free") {
                m_free(context);
            }
        }
        std::vector<std::string> sent = c.All("sent");
        if (sent == std::vector<std::string>{"nothing"}) {
            sent.clear();
        }
        if (fake != nullptr && !c.All("sent").empty()) {
            EXPECT_EQ(fake->Commands(), sent);
        }
    }
    EXPECT_EQ(m_load(LibraryBlock("Net", "\"12345678\"").c_str(), nullptr), nullptr);
}

} // namespace
} // namespace airvane::linux_wlan
