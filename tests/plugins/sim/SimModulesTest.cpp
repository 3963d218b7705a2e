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
#include <memory>
#include <string>

namespace airvane::sim {
namespace {

struct stTreeDeleter {
    void operator()(stXMLNode* node) const { XMLFreeTree(node); }
};
using TreePtr = std::unique_ptr<stXMLNode, stTreeDeleter>;

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
    TreePtr root(XMLParseText(text.c_str(), static_cast<std::uint32_t>(text.size()), nullptr));
    ASSERT_NE(root, nullptr);
    stXMLNode* plainDevice = XMLFindChild(root.get(), "DEVICE");
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
    root.reset(); // the library frees the document after loading; the adapters copied what they need

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

class SimWepPlusModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_run = reinterpret_cast<RunWepPlusFn>(
            platform::GetModuleExport(platform::LoadModule(AIRVANE_SIM_WEPPLUS_PATH), "RunWepPlus"));
        ASSERT_NE(m_run, nullptr);
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
        network.key = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
        network.acceptsRenewal = acceptsRenewal;
        config.networks.push_back(network);
        return config;
    }

    // Brings the adapter's link up on network "Plus".
    static void Associate(CSimAdapter& adapter) {
        ASSERT_EQ(adapter.Select(nullptr), 1);
        CWLANProfil profile("Plus", WLAN_SECURE_WEPPLUS);
        const std::uint8_t key[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
        dynamic_cast<CWLANWEPPlusSecureMethod*>(profile.GetSecureMethodIF())->SetKey(key, 104);
        ASSERT_EQ(adapter.Connect(profile, nullptr), 1);
        CWLANState state;
        adapter.GetNetworkState(state, nullptr);
        state.Empty();
        adapter.GetNetworkState(state, nullptr);
        ASSERT_EQ(state.m_status, CSimAdapter::LINK_ASSOCIATED);
    }

    static CWLANWEPPlusSecureMethod Method() {
        CWLANWEPPlusSecureMethod method;
        const std::uint8_t key[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
        method.SetKey(key, 104);
        method.SetWepPlusKeyPath(kKeyPath);
        return method;
    }

    static constexpr const char* kKeyPath = "HKEY_CURRENT_USER\\Software\\Test\\WepPlus";
    // Adapter address 02 00 00 00 00 07 interleaved with the label "lbl".
    static constexpr const char* kValueName = "026C0062006C000007";

    test::CScopedRegistry m_registry;
    RunWepPlusFn m_run = nullptr;
};

TEST_F(SimWepPlusModuleTest, AgreesAFreshKeyAndStoresIt) {
    CSimAdapter adapter(Config(true));
    Associate(adapter);
    CWLANWEPPlusSecureMethod method = Method();

    ASSERT_EQ(m_run(&method, &adapter), 1);
    EXPECT_EQ(adapter.GetRenewalCount(), 1u);
    EXPECT_EQ(method.GetKeySizeInBit(), 104u);
    unsigned char inUse[32] = {};
    method.GetKey(inUse);
    unsigned char stored[32] = {};
    std::uint32_t size = sizeof stored;
    ASSERT_NE(RegistryGetBinary(kKeyPath, kValueName, stored, size), 0);
    ASSERT_EQ(size, 13u);
    EXPECT_EQ(0, std::memcmp(inUse, stored, 13)) << "the stored key is the key in use";
    const unsigned char initial[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    EXPECT_NE(0, std::memcmp(inUse, initial, 13));

    // The access point now holds the new key: the initial key no longer associates.
    std::uint8_t indicator[4] = {};
    std::uint32_t length = 4;
    adapter.GetIndicator(indicator, &length);
    EXPECT_EQ(indicator[0], 0);
    CWLANProfil profile("Plus", WLAN_SECURE_WEPPLUS);
    dynamic_cast<CWLANWEPPlusSecureMethod*>(profile.GetSecureMethodIF())->SetKey(initial, 104);
    ASSERT_EQ(adapter.Connect(profile, nullptr), 1);
    CWLANState state;
    adapter.GetNetworkState(state, nullptr);
    state.Empty();
    adapter.GetNetworkState(state, nullptr);
    EXPECT_EQ(adapter.GetGeneriqueLastError(), WLAN_ERROR_AUTHENTICATION_FAILED);
}

TEST_F(SimWepPlusModuleTest, RefusalsLeaveKeyAndStoreAlone) {
    CSimAdapter refusing(Config(false));
    Associate(refusing);
    CWLANWEPPlusSecureMethod method = Method();
    EXPECT_EQ(m_run(&method, &refusing), 0);
    unsigned char key[32] = {};
    method.GetKey(key);
    EXPECT_EQ(key[12], 13);
    unsigned char stored[32] = {};
    std::uint32_t size = sizeof stored;
    EXPECT_EQ(RegistryGetBinary(kKeyPath, kValueName, stored, size), 0);

    CSimAdapter idle(Config(true));
    EXPECT_EQ(m_run(&method, &idle), 0) << "no link";
    EXPECT_EQ(m_run(nullptr, &idle), 0);
    EXPECT_EQ(m_run(&method, nullptr), 0);

    CForeignAdapter foreign;
    EXPECT_EQ(m_run(&method, &foreign), 0);
    EXPECT_EQ(foreign.calls, 0);
}

} // namespace
} // namespace airvane::sim
