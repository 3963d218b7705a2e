#include "plugins/sim/supplicant/SimSupplicant.h"

#include "airvane/platform/Module.h"
#include "plugins/sim/SimWpaPeer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace airvane::sim {
namespace {

// An access point configured with a pass phrase or a raw key; records handshake outcomes.
class CFakeAccessPoint : public ISimWpaPeer {
public:
    CFakeAccessPoint(std::string ssid, std::string passphrase, const std::uint8_t* key = nullptr)
        : m_ssid(std::move(ssid)), m_passphrase(std::move(passphrase)), m_hasKey(key != nullptr) {
        if (m_hasKey) {
            std::memcpy(m_key, key, sizeof m_key);
        }
    }

    const char* GetAccessPointSSID() override { return m_ssid.c_str(); }
    const char* GetAccessPointPassphrase() override { return m_hasKey ? nullptr : m_passphrase.c_str(); }
    int GetAccessPointKey(std::uint8_t key[kSimPMKBytes]) override {
        if (m_hasKey) {
            std::memcpy(key, m_key, sizeof m_key);
        }
        return m_hasKey ? 1 : 0;
    }
    void OnHandshakeResult(enSimHandshakeResult result) override { m_results.push_back(result); }

    std::vector<enSimHandshakeResult> m_results;

private:
    std::string m_ssid;
    std::string m_passphrase;
    bool m_hasKey;
    std::uint8_t m_key[kSimPMKBytes] = {};
};

// `psk` is a quoted pass phrase or 64 hex digits.
std::string Block(const std::string& ssid, const std::string& psk) {
    return "network={\n\t\t\t\t\tssid=\"" + ssid + "\"\n\t\t\t\t\tpsk=" + psk +
           "\n\t\t\t\t\tpriority=1\n\t\t\t\t\tkey_mgmt=WPA-PSK\n\t\t\t\t\t}\n";
}

// Master key of "password" on SSID "IEEE" (IEEE 802.11i test vector).
const char* kIEEEKeyHex = "F42C6FC52DF0EBEF9EBB4B90B38A5F902E83FE1B135A70E23AED762E9710A12E";
const std::uint8_t kIEEEKey[kSimPMKBytes] = {0xf4, 0x2c, 0x6f, 0xc5, 0x2d, 0xf0, 0xeb, 0xef, 0x9e, 0xbb, 0x4b,
                                             0x90, 0xb3, 0x8a, 0x5f, 0x90, 0x2e, 0x83, 0xfe, 0x1b, 0x13, 0x5a,
                                             0x70, 0xe2, 0x3a, 0xed, 0x76, 0x2e, 0x97, 0x10, 0xa1, 0x2e};

struct stDeleter {
    void operator()(CSimSupplicant* supplicant) const { delete supplicant; }
};
using SupplicantPtr = std::unique_ptr<CSimSupplicant, stDeleter>;

// Drives the supplicant through `script`, steps separated by spaces: S start, A associated,
// N start key negotiation, D disassociated, X an unknown command, R Run. A digit after a step is
// the state expected after it; "#n" the number of handshake results reported so far.
void Walk(CSimSupplicant& supplicant, const CFakeAccessPoint& ap, const std::string& script) {
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

// Runs of the state machine against access points holding a pass phrase (salted by its SSID) or
// a raw key: the master keys decide, and a wrong key never reaches "completed" (6).
TEST(SimSupplicantTest, StateMachineWalks) {
    CFakeAccessPoint passphraseAp("IEEE", "password");
    CFakeAccessPoint keyAp("Other", "", kIEEEKey);
    std::string wrongKey = kIEEEKeyHex;
    wrongKey[63] = '0';
    const struct {
        const char* name;
        const char* ssid;
        std::string psk;
        CFakeAccessPoint& ap;
        const char* script;
        std::uint32_t failures;
        enSimHandshakeResult result; // reported by every handshake that ended
    } cases[] = {
        {"right pass phrase", "IEEE", "\"password\"", passphraseAp, "1 S2 R2 A3 R3 N R4 R5#0 R6#1 R6#1", 0,
         SIM_HANDSHAKE_COMPLETED},
        {"wrong pass phrase", "IEEE", "\"passw0rd\"", passphraseAp,
         "S2 A N R4 R1#1 R1 R1 R1 R1 R1 A N R4 R1#2", 2, SIM_HANDSHAKE_FAILED},
        {"interrupted", "IEEE", "\"password\"", passphraseAp, "A N R4 D1 R1 A3 N R4 R5 R6 S2 N R2 X2", 0,
         SIM_HANDSHAKE_COMPLETED},
        {"other salt", "IEEF", "\"password\"", passphraseAp, "A N R4 R1 R1", 1, SIM_HANDSHAKE_FAILED},
        {"raw key", "IEEE", kIEEEKeyHex, passphraseAp, "A N R4 R5 R6", 0, SIM_HANDSHAKE_COMPLETED},
        {"key access point", "IEEE", "\"password\"", keyAp, "A N R4 R5 R6", 0, SIM_HANDSHAKE_COMPLETED},
        {"wrong raw key", "Other", wrongKey, keyAp, "A N R4 R1 R1", 1, SIM_HANDSHAKE_FAILED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.ap.m_results.clear();
        SupplicantPtr supplicant(CSimSupplicant::Create(Block(c.ssid, c.psk).c_str(), &c.ap));
        ASSERT_NE(supplicant, nullptr);
        EXPECT_EQ(supplicant->GetSSID(), c.ssid);
        Walk(*supplicant, c.ap, c.script);
        EXPECT_EQ(supplicant->GetFailureCount(), c.failures);
        for (enSimHandshakeResult result : c.ap.m_results) {
            EXPECT_EQ(result, c.result);
        }
    }
}

TEST(SimSupplicantTest, CreateRejectsMalformedBlocksAndMissingPeer) {
    CFakeAccessPoint ap("IEEE", "password");
    EXPECT_EQ(CSimSupplicant::Create(Block("IEEE", "\"short\"").c_str(), &ap), nullptr);
    EXPECT_EQ(CSimSupplicant::Create("network={\n}\n", &ap), nullptr);
    EXPECT_EQ(CSimSupplicant::Create(nullptr, &ap), nullptr);
    EXPECT_EQ(CSimSupplicant::Create(Block("IEEE", "\"password\"").c_str(), nullptr), nullptr);
}

// The built module, loaded by path as the library would load it by name.
TEST(SimSupplicantModuleTest, LoadsRunsThroughSlotsAndFrees) {
    platform::ModuleHandle module = platform::LoadModule(AIRVANE_SIM_WPA_STUB_PATH);
    ASSERT_NE(module, nullptr);
    const auto load = reinterpret_cast<WPAContextLoadFn>(platform::GetModuleExport(module, "WPAContextLoad"));
    const auto release =
        reinterpret_cast<WPAContextFreeFn>(platform::GetModuleExport(module, "WPAContextFree"));
    ASSERT_NE(load, nullptr);
    ASSERT_NE(release, nullptr);

    CFakeAccessPoint ap("IEEE", "password");
    IWPAStubContext* context = load(Block("IEEE", "\"password\"").c_str(), ToWpaAdapter(&ap));
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->GetState(), 1);
    context->Command(4);
    EXPECT_EQ(context->GetState(), 2);
    context->Command(3);
    context->Command(0);
    context->Run();
    context->Run();
    context->Run();
    EXPECT_EQ(context->GetState(), 6);
    release(context);

    EXPECT_EQ(load("network={\nssid=\"IEEE\"\n}\n", ToWpaAdapter(&ap)), nullptr);
    EXPECT_EQ(load("", ToWpaAdapter(&ap)), nullptr);
    EXPECT_EQ(load(Block("IEEE", "\"password\"").c_str(), nullptr), nullptr);
}

} // namespace
} // namespace airvane::sim
