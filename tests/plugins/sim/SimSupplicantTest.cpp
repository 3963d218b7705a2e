#include "plugins/sim/supplicant/SimSupplicant.h"

#include "airvane/platform/Module.h"
#include "plugins/sim/SimWpaPeer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace airvane::sim {
namespace {

using State = CSimSupplicant::enState;

// An access point configured with a pass phrase or a raw key; records handshake outcomes.
class CFakeAccessPoint : public ISimWpaPeer {
public:
    CFakeAccessPoint(std::string ssid, std::string passphrase)
        : m_ssid(std::move(ssid)), m_passphrase(std::move(passphrase)) {}
    CFakeAccessPoint(std::string ssid, const std::uint8_t key[kSimPMKBytes])
        : m_ssid(std::move(ssid)), m_hasKey(true) {
        std::memcpy(m_key, key, sizeof m_key);
    }

    const char* GetAccessPointSSID() override { return m_ssid.c_str(); }
    const char* GetAccessPointPassphrase() override { return m_hasKey ? nullptr : m_passphrase.c_str(); }
    int GetAccessPointKey(std::uint8_t key[kSimPMKBytes]) override {
        if (!m_hasKey) {
            return 0;
        }
        std::memcpy(key, m_key, sizeof m_key);
        return 1;
    }
    void OnHandshakeResult(enSimHandshakeResult result) override { m_results.push_back(result); }

    std::vector<enSimHandshakeResult> m_results;

private:
    std::string m_ssid;
    std::string m_passphrase;
    bool m_hasKey = false;
    std::uint8_t m_key[kSimPMKBytes] = {};
};

std::string PassphraseBlock(const std::string& ssid, const std::string& passphrase) {
    return "network={\n\t\t\t\t\tssid=\"" + ssid + "\"\n\t\t\t\t\tpsk=\"" + passphrase +
           "\"\n\t\t\t\t\tpriority=1\n\t\t\t\t\tkey_mgmt=WPA-PSK\n\t\t\t\t\t}\n";
}

std::string KeyBlock(const std::string& ssid, const std::string& hexKey) {
    return "network={\n\t\t\t\t\tssid=\"" + ssid + "\"\n\t\t\t\t\tpsk=" + hexKey +
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

// The commands the library sends when the adapter reports association (status 1 after
// another status), followed by its Run.
void Associate(CSimSupplicant& supplicant) {
    supplicant.Command(CSimSupplicant::COMMAND_ASSOCIATED);
    supplicant.Command(CSimSupplicant::COMMAND_KEY_NEGOTIATION);
    supplicant.Run();
}

TEST(SimSupplicantTest, RightPassphraseWalksEveryStateToCompleted) {
    CFakeAccessPoint ap("IEEE", "password");
    SupplicantPtr supplicant(CSimSupplicant::Create(PassphraseBlock("IEEE", "password").c_str(), &ap));
    ASSERT_NE(supplicant, nullptr);
    EXPECT_EQ(supplicant->GetSSID(), "IEEE");
    EXPECT_EQ(supplicant->GetState(), State::STATE_DISCONNECTED);

    supplicant->Command(CSimSupplicant::COMMAND_START);
    EXPECT_EQ(supplicant->GetState(), State::STATE_SCANNING);
    supplicant->Run();
    EXPECT_EQ(supplicant->GetState(), State::STATE_SCANNING);

    supplicant->Command(CSimSupplicant::COMMAND_ASSOCIATED);
    EXPECT_EQ(supplicant->GetState(), State::STATE_ASSOCIATING);
    supplicant->Run();
    EXPECT_EQ(supplicant->GetState(), State::STATE_ASSOCIATING) << "no key negotiation requested yet";
    supplicant->Command(CSimSupplicant::COMMAND_KEY_NEGOTIATION);
    supplicant->Run();
    EXPECT_EQ(supplicant->GetState(), State::STATE_PAIRWISE_HANDSHAKE);
    supplicant->Run();
    EXPECT_EQ(supplicant->GetState(), State::STATE_GROUP_HANDSHAKE);
    EXPECT_TRUE(ap.m_results.empty());
    supplicant->Run();
    EXPECT_EQ(supplicant->GetState(), State::STATE_COMPLETED);
    ASSERT_EQ(ap.m_results.size(), 1u);
    EXPECT_EQ(ap.m_results[0], SIM_HANDSHAKE_COMPLETED);
    supplicant->Run();
    EXPECT_EQ(supplicant->GetState(), State::STATE_COMPLETED);
    EXPECT_EQ(ap.m_results.size(), 1u) << "completion is reported once";
}

TEST(SimSupplicantTest, WrongPassphraseFailsTheHandshakeAndNeverCompletes) {
    CFakeAccessPoint ap("IEEE", "password");
    SupplicantPtr supplicant(CSimSupplicant::Create(PassphraseBlock("IEEE", "passw0rd").c_str(), &ap));
    ASSERT_NE(supplicant, nullptr);
    supplicant->Command(CSimSupplicant::COMMAND_START);
    Associate(*supplicant);
    EXPECT_EQ(supplicant->GetState(), State::STATE_PAIRWISE_HANDSHAKE);
    supplicant->Run();
    EXPECT_EQ(supplicant->GetState(), State::STATE_DISCONNECTED);
    EXPECT_EQ(supplicant->GetFailureCount(), 1u);
    ASSERT_EQ(ap.m_results.size(), 1u);
    EXPECT_EQ(ap.m_results[0], SIM_HANDSHAKE_FAILED);
    for (int i = 0; i < 5; ++i) {
        supplicant->Run();
        EXPECT_NE(supplicant->GetState(), State::STATE_COMPLETED);
    }
    // A new association tries again and fails again.
    Associate(*supplicant);
    supplicant->Run();
    EXPECT_EQ(supplicant->GetState(), State::STATE_DISCONNECTED);
    EXPECT_EQ(supplicant->GetFailureCount(), 2u);
}

TEST(SimSupplicantTest, SameKeyOnAnotherSSIDDoesNotMatchAPassphraseNetwork) {
    // The pass phrase is right but the salt differs: the master keys differ.
    CFakeAccessPoint ap("IEEE", "password");
    SupplicantPtr supplicant(CSimSupplicant::Create(PassphraseBlock("IEEF", "password").c_str(), &ap));
    ASSERT_NE(supplicant, nullptr);
    Associate(*supplicant);
    supplicant->Run();
    EXPECT_EQ(supplicant->GetState(), State::STATE_DISCONNECTED);
}

TEST(SimSupplicantTest, RawKeyMatchesPassphraseAccessPointAndRawKeyAccessPoint) {
    CFakeAccessPoint passphraseAp("IEEE", "password");
    SupplicantPtr first(CSimSupplicant::Create(KeyBlock("IEEE", kIEEEKeyHex).c_str(), &passphraseAp));
    ASSERT_NE(first, nullptr);
    Associate(*first);
    first->Run();
    first->Run();
    EXPECT_EQ(first->GetState(), State::STATE_COMPLETED);

    CFakeAccessPoint keyAp("Other", kIEEEKey);
    SupplicantPtr second(CSimSupplicant::Create(PassphraseBlock("IEEE", "password").c_str(), &keyAp));
    ASSERT_NE(second, nullptr);
    Associate(*second);
    second->Run();
    second->Run();
    EXPECT_EQ(second->GetState(), State::STATE_COMPLETED);

    std::string wrong = kIEEEKeyHex;
    wrong[63] = '0';
    SupplicantPtr third(CSimSupplicant::Create(KeyBlock("Other", wrong).c_str(), &keyAp));
    ASSERT_NE(third, nullptr);
    Associate(*third);
    third->Run();
    EXPECT_EQ(third->GetState(), State::STATE_DISCONNECTED);
}

TEST(SimSupplicantTest, DisassociationAndRestartInterruptTheHandshake) {
    CFakeAccessPoint ap("IEEE", "password");
    SupplicantPtr supplicant(CSimSupplicant::Create(PassphraseBlock("IEEE", "password").c_str(), &ap));
    ASSERT_NE(supplicant, nullptr);
    Associate(*supplicant);
    supplicant->Command(CSimSupplicant::COMMAND_DISASSOCIATED);
    EXPECT_EQ(supplicant->GetState(), State::STATE_DISCONNECTED);
    supplicant->Run();
    EXPECT_EQ(supplicant->GetState(), State::STATE_DISCONNECTED);

    Associate(*supplicant);
    supplicant->Run();
    supplicant->Run();
    EXPECT_EQ(supplicant->GetState(), State::STATE_COMPLETED);
    supplicant->Command(CSimSupplicant::COMMAND_START);
    EXPECT_EQ(supplicant->GetState(), State::STATE_SCANNING);
    supplicant->Command(CSimSupplicant::COMMAND_KEY_NEGOTIATION);
    supplicant->Run();
    EXPECT_EQ(supplicant->GetState(), State::STATE_SCANNING) << "key negotiation needs an association";
    supplicant->Command(99);
    EXPECT_EQ(supplicant->GetState(), State::STATE_SCANNING);
}

TEST(SimSupplicantTest, CreateRejectsMalformedBlocksAndMissingPeer) {
    CFakeAccessPoint ap("IEEE", "password");
    EXPECT_EQ(CSimSupplicant::Create(PassphraseBlock("IEEE", "short").c_str(), &ap), nullptr);
    EXPECT_EQ(CSimSupplicant::Create("network={\n}\n", &ap), nullptr);
    EXPECT_EQ(CSimSupplicant::Create(nullptr, &ap), nullptr);
    EXPECT_EQ(CSimSupplicant::Create(PassphraseBlock("IEEE", "password").c_str(), nullptr), nullptr);
}

// The built module, loaded by path as the library would load it by name.
class SimSupplicantModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::ModuleHandle module = platform::LoadModule(AIRVANE_SIM_WPA_STUB_PATH);
        ASSERT_NE(module, nullptr);
        m_load = reinterpret_cast<WPAContextLoadFn>(platform::GetModuleExport(module, "WPAContextLoad"));
        m_free = reinterpret_cast<WPAContextFreeFn>(platform::GetModuleExport(module, "WPAContextFree"));
        ASSERT_NE(m_load, nullptr);
        ASSERT_NE(m_free, nullptr);
    }

    WPAContextLoadFn m_load = nullptr;
    WPAContextFreeFn m_free = nullptr;
};

TEST_F(SimSupplicantModuleTest, LoadsRunsThroughSlotsAndFrees) {
    CFakeAccessPoint ap("IEEE", "password");
    IWPAStubContext* context = m_load(PassphraseBlock("IEEE", "password").c_str(), ToWpaAdapter(&ap));
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
    m_free(context);
}

TEST_F(SimSupplicantModuleTest, MalformedBlockGivesNull) {
    CFakeAccessPoint ap("IEEE", "password");
    EXPECT_EQ(m_load("network={\nssid=\"IEEE\"\n}\n", ToWpaAdapter(&ap)), nullptr);
    EXPECT_EQ(m_load("", ToWpaAdapter(&ap)), nullptr);
    EXPECT_EQ(m_load(PassphraseBlock("IEEE", "password").c_str(), nullptr), nullptr);
}

} // namespace
} // namespace airvane::sim
