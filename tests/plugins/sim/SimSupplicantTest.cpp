// The simulated supplicant: network-block parsing, pass phrase to master key, the handshake state
// machine and the built module's entry points.

#include "plugins/sim/supplicant/SimSupplicant.h"

#include "airvane/platform/Module.h"
#include "plugins/sim/SimWpaPeer.h"
#include "plugins/sim/supplicant/NetworkBlock.h"
#include "plugins/sim/supplicant/PassphraseKey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace airvane::sim {
namespace {

// Master key of pass phrase "password" on SSID "IEEE" (IEEE 802.11i test vector).
const char* kIEEEKeyHex = "F42C6FC52DF0EBEF9EBB4B90B38A5F902E83FE1B135A70E23AED762E9710A12E";
const char* kIEEEKeyLowerHex = "f42c6fc52df0ebef9ebb4b90b38a5f902e83fe1b135a70e23aed762e9710a12e";
const std::vector<std::uint8_t> kIEEEKey = {0xf4, 0x2c, 0x6f, 0xc5, 0x2d, 0xf0, 0xeb, 0xef, 0x9e, 0xbb, 0x4b,
                                            0x90, 0xb3, 0x8a, 0x5f, 0x90, 0x2e, 0x83, 0xfe, 0x1b, 0x13, 0x5a,
                                            0x70, 0xe2, 0x3a, 0xed, 0x76, 0x2e, 0x97, 0x10, 0xa1, 0x2e};

// The block exactly as the library's WPA-PSK method writes it; `psk` is a quoted pass phrase or
// 64 hex digits.
std::string LibraryBlock(const std::string& ssid, const std::string& psk) {
    return "network={\n\t\t\t\t\tssid=\"" + ssid + "\"\n\t\t\t\t\tpsk=" + psk +
           "\n\t\t\t\t\tpriority=1\n\t\t\t\t\tkey_mgmt=WPA-PSK\n\t\t\t\t\t}\n";
}

// Lower-case hex digits of a 32-byte key.
std::string Hex(const std::uint8_t* key) {
    std::string hex;
    for (std::size_t i = 0; i < 32; ++i) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", key[i]);
        hex += digits;
    }
    return hex;
}

std::string Minimal(const std::string& extraLine) {
    return "network={\nssid=\"Net\"\npsk=\"12345678\"\n" + extraLine + "}\n";
}

// Test vectors of IEEE 802.11i, annex H.4: any fault in the iteration, the salt or the pass
// phrase handling changes the master key.
TEST(PassphraseKeyTest, MatchesPublishedVectorsAndRejectsNullArguments) {
    const struct {
        std::string passphrase;
        std::string ssid;
        const char* pmk;
    } cases[] = {
        {"password", "IEEE", kIEEEKeyLowerHex},
        {"ThisIsAPassword", "ThisIsASSID",
         "0dc0d6eb90555ed6419756b9a15ec3e3209b63df707dd508d14581f8982721af"},
        {std::string(32, 'a'), std::string(32, 'Z'),
         "becb93866bb8c3832cb777c2f559807c8c59afcb6eae734885001300a981cc62"},
    };
    std::uint8_t pmk[kPMKLength] = {};
    for (const auto& c : cases) {
        ASSERT_TRUE(DerivePMK(c.passphrase.data(), c.passphrase.size(),
                              reinterpret_cast<const std::uint8_t*>(c.ssid.data()), c.ssid.size(), pmk));
        EXPECT_EQ(Hex(pmk), c.pmk) << c.passphrase;
    }
    const std::uint8_t ssid[] = {'s'};
    EXPECT_FALSE(DerivePMK(nullptr, 0, ssid, 1, pmk));
    EXPECT_FALSE(DerivePMK("password", 8, nullptr, 0, pmk));
    EXPECT_FALSE(DerivePMK("password", 8, ssid, 1, nullptr));
}

TEST(NetworkBlockTest, ReadsValidBlocks) {
    const std::string long63(63, 'p');
    const struct {
        std::string text;
        const char* ssid;
        const char* passphrase; // null: the raw key of "password" on "IEEE"
        int priority;
        const char* keyManagement; // null: not checked
    } cases[] = {
        {LibraryBlock("Home Net", "\"correct horse\""), "Home Net", "correct horse", 1, "WPA-PSK"},
        {LibraryBlock("Key", kIEEEKeyHex), "Key", nullptr, 1, "WPA-PSK"},
        {LibraryBlock("Key", kIEEEKeyLowerHex), "Key", nullptr, 1, "WPA-PSK"},
        // Hex SSID, comments, blank and CRLF lines; priority and key management are optional.
        {"# comment\n\nnetwork={\r\n  ssid=41422d43\r\n  psk=\"12345678\"\r\n}\r\n", "AB-C", "12345678", 0,
         "WPA-PSK"},
        {LibraryBlock("say \"hi\"", "\"12345678\""), "say \"hi\"", "12345678", 1, "WPA-PSK"},
        {LibraryBlock("Net", "\"" + long63 + "\""), "Net", long63.c_str(), 1, "WPA-PSK"},
        {Minimal("key_mgmt=WPA-EAP WPA-PSK\n"), "Net", "12345678", 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        stSimNetworkBlock block;
        std::string error;
        ASSERT_TRUE(ParseNetworkBlock(c.text.c_str(), block, &error)) << error;
        EXPECT_EQ(block.ssid, c.ssid);
        EXPECT_EQ(block.priority, c.priority);
        if (c.keyManagement != nullptr) {
            EXPECT_EQ(block.keyManagement, c.keyManagement);
        }
        EXPECT_EQ(block.hasPassphrase, c.passphrase != nullptr);
        EXPECT_EQ(block.hasKey, c.passphrase == nullptr);
        if (c.passphrase != nullptr) {
            EXPECT_EQ(block.passphrase, c.passphrase);
        } else {
            EXPECT_EQ(Hex(block.key), kIEEEKeyLowerHex);
        }
    }
}

TEST(NetworkBlockTest, RejectsMalformedBlocks) {
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"no opening line", "ssid=\"Net\"\npsk=\"12345678\"\n}\n"},
        {"missing brace", "network={\nssid=\"Net\"\npsk=\"12345678\"\n"},
        {"text after block", LibraryBlock("Net", "\"12345678\"") + "ssid=\"x\"\n"},
        {"missing ssid", "network={\npsk=\"12345678\"\n}\n"},
        {"missing psk", "network={\nssid=\"Net\"\n}\n"},
        {"unknown field", Minimal("bssid=00:11\n")},
        {"field twice", Minimal("ssid=\"Net\"\n")},
        {"no equals", "network={\nssid \"Net\"\npsk=\"12345678\"\n}\n"},
        {"empty ssid", LibraryBlock("", "\"12345678\"")},
        {"ssid too long", LibraryBlock(std::string(33, 's'), "\"12345678\"")},
        {"unterminated ssid", "network={\nssid=\"Net\npsk=\"12345678\"\n}\n"},
        {"odd hex ssid", "network={\nssid=414\npsk=\"12345678\"\n}\n"},
        {"zero byte in ssid", "network={\nssid=4100\npsk=\"12345678\"\n}\n"},
        {"short pass phrase", LibraryBlock("Net", "\"1234567\"")},
        {"long pass phrase", LibraryBlock("Net", "\"" + std::string(64, 'p') + "\"")},
        {"control character", LibraryBlock("Net", "\"1234\t5678\"")},
        {"short hex key", LibraryBlock("Net", std::string(62, 'a'))},
        {"bad hex key", LibraryBlock("Net", std::string(63, 'a') + "g")},
        {"unquoted pass phrase", LibraryBlock("Net", "12345678")},
        {"bad priority", Minimal("priority=x\n")},
        {"eap only", Minimal("key_mgmt=WPA-EAP\n")},
        {"unknown key mgmt", Minimal("key_mgmt=WPA-PSK FOO\n")},
        {"empty key mgmt", Minimal("key_mgmt=\n")},
    };
    for (const auto& c : cases) {
        stSimNetworkBlock block;
        std::string error;
        EXPECT_FALSE(ParseNetworkBlock(c.text.c_str(), block, &error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
    stSimNetworkBlock block;
    block.ssid = "kept";
    EXPECT_FALSE(ParseNetworkBlock(nullptr, block, nullptr));
    EXPECT_EQ(block.ssid, "kept") << "a null text leaves the block alone";
}

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
        std::unique_ptr<CSimSupplicant> supplicant(
            CSimSupplicant::Create(LibraryBlock(c.ssid, c.psk).c_str(), &c.ap));
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
    EXPECT_EQ(CSimSupplicant::Create(LibraryBlock("IEEE", "\"short\"").c_str(), &ap), nullptr);
    EXPECT_EQ(CSimSupplicant::Create("network={\n}\n", &ap), nullptr);
    EXPECT_EQ(CSimSupplicant::Create(nullptr, &ap), nullptr);
    EXPECT_EQ(CSimSupplicant::Create(LibraryBlock("IEEE", "\"password\"").c_str(), nullptr), nullptr);
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
    IWPAStubContext* context = load(LibraryBlock("IEEE", "\"password\"").c_str(), ToWpaAdapter(&ap));
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
    EXPECT_EQ(load(LibraryBlock("IEEE", "\"password\"").c_str(), nullptr), nullptr);
}

} // namespace
} // namespace airvane::sim
