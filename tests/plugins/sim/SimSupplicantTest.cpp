// The simulated supplicant: network-block parsing, pass phrase to master key and the handshake state
// machine run by the cases of cases/supplicant.txt, directly and through the built module.

#include "plugins/sim/supplicant/SimSupplicant.h"

#include "airvane/Hex.h"
#include "airvane/platform/Module.h"
#include "plugins/sim/SimWpaPeer.h"
#include "plugins/sim/supplicant/NetworkBlock.h"
#include "plugins/sim/supplicant/PassphraseKey.h"
#include "tests/support/CaseFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace airvane::sim {
namespace {

using test::stCase;

// An access point configured with a pass phrase or (when `key` is given) a raw key; records
// handshake outcomes.
struct CFakeAccessPoint : ISimWpaPeer {
    CFakeAccessPoint(std::string ssid, std::string passphrase, std::vector<std::uint8_t> key = {})
        : m_ssid(std::move(ssid)), m_passphrase(std::move(passphrase)), m_key(std::move(key)) {}
    const char* GetAccessPointSSID() override { return m_ssid.c_str(); }
    const char* GetAccessPointPassphrase() override { return m_key.empty() ? m_passphrase.c_str() : nullptr; }
    int GetAccessPointKey(std::uint8_t key[kSimPMKBytes]) override {
        std::copy(m_key.begin(), m_key.end(), key);
        return m_key.empty() ? 0 : 1;
    }
    void OnHandshakeResult(enSimHandshakeResult result) override { m_results.push_back(result); }

    std::string m_ssid;
    std::string m_passphrase;
    std::vector<std::uint8_t> m_key;
    std::vector<enSimHandshakeResult> m_results;
};

// Drives the supplicant through `script`, steps separated by spaces: S start, A associated,
// N start key negotiation, D disassociated, X an unknown command, R Run. A digit after a step is
// the state expected after it; "#n" the number of handshake results reported so far.
void Walk(IWPAStubContext& supplicant, const CFakeAccessPoint& ap, const std::string& script) {
    const std::int32_t commands[] = {CSimSupplicant::COMMAND_START, CSimSupplicant::COMMAND_ASSOCIATED,
                                     CSimSupplicant::COMMAND_KEY_NEGOTIATION,
                                     CSimSupplicant::COMMAND_DISASSOCIATED, 99};
    const char* steps = "SANDX";
    for (std::size_t at = 0; at < script.size(); ++at) {
        const char c = script[at];
        if (c == 'R') {
            supplicant.Run();
        } else if (const char* command = std::strchr(steps, c); command != nullptr) {
            supplicant.Command(commands[command - steps]);
        } else if (c >= '1' && c <= '6') {
            EXPECT_EQ(supplicant.GetState(), c - '0') << "after " << script.substr(0, at);
        } else if (c == '#') {
            ++at;
            EXPECT_EQ(ap.m_results.size(), static_cast<std::size_t>(script[at] - '0'))
                << script.substr(0, at);
        }
    }
}

// The built module is loaded by path, as the library would load it by name.
TEST(SimSupplicantTest, MasterKeysBlocksAndHandshakes) {
    platform::ModuleHandle module = platform::LoadModule(AIRVANE_SIM_WPA_STUB_PATH);
    const auto load = reinterpret_cast<WPAContextLoadFn>(platform::GetModuleExport(module, "WPAContextLoad"));
    const auto release =
        reinterpret_cast<WPAContextFreeFn>(platform::GetModuleExport(module, "WPAContextFree"));
    ASSERT_NE(load, nullptr);
    ASSERT_NE(release, nullptr);
    for (const stCase& c : test::ReadCases(AIRVANE_SIM_CASES "/supplicant.txt")) {
        SCOPED_TRACE(c.name);
        for (const std::string& line : c.All("pmk")) {
            const std::vector<std::string> words = test::SplitText(line, ' ');
            std::uint8_t pmk[kPMKLength] = {};
            ASSERT_TRUE(DerivePMK(words[0].data(), words[0].size(),
                                  reinterpret_cast<const std::uint8_t*>(words[1].data()), words[1].size(),
                                  pmk));
            EXPECT_EQ(test::HexOf(pmk, kPMKLength), words[2]);
        }
        stSimNetworkBlock block;
        std::string error;
        if (!c.All("read").empty() || !c.All("error").empty()) {
            const bool read = ParseNetworkBlock(test::NetworkBlockOf(c).c_str(), block, &error);
            EXPECT_EQ(read, c.All("error").empty()) << error;
            EXPECT_EQ(error.empty(), read);
            EXPECT_EQ(read ? "ssid=" + block.ssid + " priority=" + std::to_string(block.priority) +
                                 " key_mgmt=" + block.keyManagement +
                                 (block.hasPassphrase ? " passphrase=" + block.passphrase : "") +
                                 (block.hasKey ? " key=" + test::HexOf(block.key, 32) : "")
                           : "",
                      c.Get("read"));
        }
        for (const std::string& accessPoint : {c.Get("ap-passphrase"), c.Get("ap-key")}) {
            if (accessPoint.empty()) {
                continue;
            }
            const std::vector<std::string> words = test::SplitText(accessPoint, ' ');
            std::vector<std::uint8_t> key;
            if (!c.All("ap-key").empty()) {
                airvane::hex::Decode(words[1], key);
            }
            CFakeAccessPoint ap(words[0], words[1], key);
            const bool viaModule = !c.All("via-module").empty();
            // Unlinked: the peer object itself, as an adapter of another plug-in would hand over.
            stSimWpaPeerLink link{kSimWpaPeerMark, &ap};
            IWpaAdapter* const adapter =
                c.All("unlinked").empty() ? ToWpaAdapter(&link) : reinterpret_cast<IWpaAdapter*>(&ap);
            IWPAStubContext* context = viaModule
                                           ? load(test::NetworkBlockOf(c).c_str(), adapter)
                                           : CSimSupplicant::Create(test::NetworkBlockOf(c).c_str(), &ap);
            if (!c.All("no-context").empty()) {
                EXPECT_EQ(context, nullptr);
                continue;
            }
            ASSERT_NE(context, nullptr);
            Walk(*context, ap, c.Get("script"));
            for (enSimHandshakeResult result : ap.m_results) {
                EXPECT_EQ(result,
                          c.Get("result") == "completed" ? SIM_HANDSHAKE_COMPLETED : SIM_HANDSHAKE_FAILED);
            }
            if (viaModule) {
                release(context);
                continue;
            }
            std::unique_ptr<CSimSupplicant> supplicant(static_cast<CSimSupplicant*>(context));
            EXPECT_EQ(supplicant->GetSSID(), c.Get("ssid"));
            EXPECT_EQ(supplicant->GetFailureCount(), std::stoul(c.Get("failures")));
        }
    }
    const std::uint8_t ssid[] = {'s'};
    std::uint8_t pmk[kPMKLength] = {};
    EXPECT_FALSE(DerivePMK(nullptr, 0, ssid, 1, pmk));
    EXPECT_FALSE(DerivePMK("password", 8, nullptr, 0, pmk));
    EXPECT_FALSE(DerivePMK("password", 8, ssid, 1, nullptr));
    stSimNetworkBlock block;
    block.ssid = "kept";
    EXPECT_FALSE(ParseNetworkBlock(nullptr, block, nullptr));
    EXPECT_EQ(block.ssid, "kept") << "a null text leaves the block alone";
    CFakeAccessPoint ap("IEEE", "password");
    EXPECT_EQ(CSimSupplicant::Create(nullptr, &ap), nullptr);
    EXPECT_EQ(CSimSupplicant::Create(test::NetworkBlock("IEEE", "\"password\"").c_str(), nullptr), nullptr);
    EXPECT_EQ(load(test::NetworkBlock("IEEE", "\"password\"").c_str(), nullptr), nullptr);
}

} // namespace
} // namespace airvane::sim
