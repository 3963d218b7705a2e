// The simulator's modules through their exported entry points, loaded by path from the
// folder of the command-line host.

#include "airvane/platform/Module.h"
#include "airvane/security/WEPPlusSecureMethod.h"
#include "airvane/security/WLANProfil.h"
#include "airvane/system/Registry.h"
#include "airvane/xml/XMLReader.h"
#include "plugins/sim/adapter/SimAdapter.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace airvane::sim {
namespace {

TEST(SimAdapterModuleTest, HandsOutConfiguredAdaptersAndDiscoversHotPluggedOnes) {
    const auto getAdapter = reinterpret_cast<WLAN_GetAdapterFn>(
        platform::GetModuleExport(platform::LoadModule(AIRVANE_SIM_ADAPTER_PATH), kWLANGetAdapterExport));
    ASSERT_NE(getAdapter, nullptr);
    EXPECT_EQ(getAdapter(nullptr), nullptr) << "nothing hot-plugged yet";

    const std::string text =
        "<WLAN>"
        "<DEVICE HARDWAREID=\"A\"><SIMADAPTER NAME=\"plain\"/></DEVICE>"
        "<DEVICE HARDWAREID=\"B\"><SIMADAPTER NAME=\"hot\" HOTPLUG=\"yes\"/></DEVICE>"
        "<DEVICE HARDWAREID=\"C\"><SIMADAPTER NAME=\"bad\" PRESENT=\"sometimes\"/></DEVICE>"
        "</WLAN>";
    stXMLNode* root = XMLParseText(text.c_str(), static_cast<std::uint32_t>(text.size()), nullptr);
    ASSERT_NE(root, nullptr);
    stXMLNode* plainDevice = XMLFindChild(root, "DEVICE");
    stXMLNode* hotDevice = XMLFindNextSibling(plainDevice, "DEVICE");
    stXMLNode* badDevice = XMLFindNextSibling(hotDevice, "DEVICE");
    ASSERT_NE(badDevice, nullptr);

    IWLANAdapter* plain = getAdapter(plainDevice);
    ASSERT_NE(plain, nullptr);
    EXPECT_STREQ(plain->GetAdapterName(), "plain");
    EXPECT_EQ(getAdapter(hotDevice), nullptr) << "kept back for discovery";
    testing::internal::CaptureStderr();
    EXPECT_EQ(getAdapter(badDevice), nullptr);
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("sim_adapter.dll: DEVICE declined: PRESENT=\"sometimes\""), std::string::npos)
        << message;
    XMLFreeTree(root); // the library frees the document after loading; the adapters copied what they need

    for (int round = 0; round < 2; ++round) {
        IWLANAdapter* hot = getAdapter(nullptr);
        ASSERT_NE(hot, nullptr) << "round " << round;
        EXPECT_STREQ(hot->GetAdapterName(), "hot");
        EXPECT_EQ(getAdapter(nullptr), nullptr) << "round " << round;
    }
    EXPECT_STREQ(plain->GetFriendlyName(), "plain");
}

// An IWepPlusAdapter of another plug-in: the renewal module must refuse it without touching it.
class CForeignAdapter final : public IWepPlusAdapter {
public:
    int Reserved() override { return 0; }
    int GetAdapterAddress(std::uint8_t*, std::uint32_t*) override { return ++calls, 0; }
    int GetPeerAddress(std::uint8_t*, std::uint32_t*) override { return ++calls, 0; }
    int GetIndicator(std::uint8_t*, std::uint32_t*) override { return ++calls, 0; }
    int GetCounters(std::uint32_t*, std::uint32_t*) override { return ++calls, 0; }
    const char* GetLabel() override { return ++calls, "foreign"; }
    int calls = 0;
};

const std::uint8_t kInitialKey[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};

class SimWepPlusModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_run = reinterpret_cast<RunWepPlusFn>(
            platform::GetModuleExport(platform::LoadModule(AIRVANE_SIM_WEPPLUS_PATH), "RunWepPlus"));
        ASSERT_NE(m_run, nullptr);
        m_method.SetKey(kInitialKey, 104);
        m_method.SetWepPlusKeyPath(kKeyPath);
    }

    static stSimAdapterConfig Config(bool acceptsRenewal) {
        stSimAdapterConfig config;
        config.name = "stick";
        config.label = "lbl";
        config.wepPlusSupported = true;
        const std::uint8_t address[kSimAddressBytes] = {0x02, 0, 0, 0, 0, 0x07};
        std::memcpy(config.address, address, sizeof address);
        stSimNetwork network;
        network.ssid = "Plus";
        network.security = SIM_SECURITY_WEPPLUS;
        network.key.assign(kInitialKey, kInitialKey + sizeof kInitialKey);
        network.acceptsRenewal = acceptsRenewal;
        config.networks.push_back(network);
        return config;
    }

    // Connects on network "Plus" with `key` and polls twice; returns the last error.
    static en_WLANLastError Connect(CSimAdapter& adapter, const std::uint8_t* key) {
        CWLANProfil profile("Plus", WLAN_SECURE_WEPPLUS);
        dynamic_cast<CWLANWEPPlusSecureMethod*>(profile.GetSecureMethodIF())->SetKey(key, 104);
        EXPECT_EQ(adapter.Connect(profile, nullptr), 1);
        CWLANState state;
        adapter.GetNetworkState(state, nullptr);
        state.Empty();
        adapter.GetNetworkState(state, nullptr);
        EXPECT_EQ(state.m_status, adapter.GetGeneriqueLastError() == WLAN_ERROR_NONE
                                      ? CSimAdapter::LINK_ASSOCIATED
                                      : CSimAdapter::LINK_NOT_ASSOCIATED);
        return adapter.GetGeneriqueLastError();
    }

    bool Stored(unsigned char stored[32], std::uint32_t& size) {
        size = 32;
        return RegistryGetBinary(kKeyPath, kValueName, stored, size) != 0;
    }

    static constexpr const char* kKeyPath = "HKEY_CURRENT_USER\\Software\\Test\\WepPlus";
    // Adapter address 02 00 00 00 00 07 interleaved with the label "lbl".
    static constexpr const char* kValueName = "026C0062006C000007";

    test::CScopedRegistry m_registry;
    RunWepPlusFn m_run = nullptr;
    CWLANWEPPlusSecureMethod m_method;
};

TEST_F(SimWepPlusModuleTest, AgreesAFreshKeyAndStoresIt) {
    CSimAdapter adapter(Config(true));
    ASSERT_EQ(adapter.Select(nullptr), 1);
    ASSERT_EQ(Connect(adapter, kInitialKey), WLAN_ERROR_NONE);

    ASSERT_EQ(m_run(&m_method, &adapter), 1);
    EXPECT_EQ(adapter.GetRenewalCount(), 1u);
    EXPECT_EQ(m_method.GetKeySizeInBit(), 104u);
    unsigned char inUse[32] = {};
    m_method.GetKey(inUse);
    unsigned char stored[32] = {};
    std::uint32_t size = 0;
    ASSERT_TRUE(Stored(stored, size));
    ASSERT_EQ(size, 13u);
    EXPECT_EQ(0, std::memcmp(inUse, stored, 13)) << "the stored key is the key in use";
    EXPECT_NE(0, std::memcmp(inUse, kInitialKey, 13));

    // The access point now holds the new key: the initial key no longer associates.
    std::uint8_t indicator[4] = {};
    std::uint32_t length = 4;
    adapter.GetIndicator(indicator, &length);
    EXPECT_EQ(indicator[0], 0);
    EXPECT_EQ(Connect(adapter, kInitialKey), WLAN_ERROR_AUTHENTICATION_FAILED);
}

TEST_F(SimWepPlusModuleTest, RefusalsLeaveKeyAndStoreAlone) {
    CSimAdapter refusing(Config(false));
    ASSERT_EQ(refusing.Select(nullptr), 1);
    ASSERT_EQ(Connect(refusing, kInitialKey), WLAN_ERROR_NONE);
    EXPECT_EQ(m_run(&m_method, &refusing), 0);
    unsigned char key[32] = {};
    m_method.GetKey(key);
    EXPECT_EQ(0, std::memcmp(key, kInitialKey, 13));
    std::uint32_t size = 0;
    EXPECT_FALSE(Stored(key, size));

    CSimAdapter idle(Config(true));
    EXPECT_EQ(m_run(&m_method, &idle), 0) << "no link";
    EXPECT_EQ(m_run(nullptr, &idle), 0);
    EXPECT_EQ(m_run(&m_method, nullptr), 0);
    CForeignAdapter foreign;
    EXPECT_EQ(m_run(&m_method, &foreign), 0);
    EXPECT_EQ(foreign.calls, 0);
}

} // namespace
} // namespace airvane::sim
