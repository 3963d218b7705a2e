// The nl80211 adapter plug-in: DEVICE options, the plug-in loaded by path on a machine
// without radios, the signal-to-quality mapping and what a beacon's elements require.

#include "airvane/manager/WLANAdapter.h"
#include "airvane/platform/Module.h"
#include "airvane/security/WLANProfil.h"
#include "airvane/xml/XMLTree.h"
#include "plugins/linux/adapter/DeviceOptions.h"
#include "plugins/linux/adapter/LinuxErrors.h"
#include "plugins/linux/adapter/NetworkSecurity.h"
#include "plugins/linux/adapter/Nl80211.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace airvane::linux_wlan {
namespace {

using WLANGetAdapterFn = IWLANAdapter* (*)(stXMLNode*);

struct stTreeDeleter {
    void operator()(stXMLNode* node) const { XMLFreeTree(node); }
};
using TreePtr = std::unique_ptr<stXMLNode, stTreeDeleter>;

// <DEVICE><LINUXWLAN name="value".../></DEVICE>; no LINUXWLAN child without attributes.
TreePtr Device(const std::vector<std::pair<const char*, std::string>>& attributes) {
    TreePtr device(XMLCreateNode("DEVICE", nullptr));
    if (!attributes.empty()) {
        stXMLNode* element = XMLCreateNode("LINUXWLAN", device.get());
        for (const auto& attribute : attributes) {
            XMLSetAttribute(element, attribute.first, attribute.second.c_str());
        }
    }
    return device;
}

TEST(LinuxDeviceOptionsTest, SelectsByNameOrAddressAndRejectsBadValues) {
    const std::string longFolder(120, 'd');
    const struct {
        std::vector<std::pair<const char*, std::string>> attributes;
        bool accepted;
        const char* name;
        const char* controlDir;
    } cases[] = {
        {{{"INTERFACE", "wlan0"}}, true, "wlan0", "/var/run/wpa_supplicant"},
        {{{"ADDRESS", "02-00-00-00-01-0A"}}, true, "", "/var/run/wpa_supplicant"},
        {{{"INTERFACE", "wlp2s0"}, {"ADDRESS", "02:00:00:00:01:00"}, {"CONTROLDIR", "/tmp/ws"}},
         true,
         "wlp2s0",
         "/tmp/ws"},
        {{}, false, "", ""},
        {{{"CONTROLDIR", "/tmp"}}, false, "", ""},
        {{{"INTERFACE", ""}}, false, "", ""},
        {{{"INTERFACE", "a/b"}}, false, "", ""},
        {{{"INTERFACE", "sixteen-bytes-xx"}}, false, "", ""},
        {{{"ADDRESS", "02:00:00:00:01"}}, false, "", ""},
        {{{"ADDRESS", "02:00:00:00:01:0g"}}, false, "", ""},
        {{{"INTERFACE", "wlan0"}, {"CONTROLDIR", longFolder}}, false, "", ""},
    };
    for (const auto& c : cases) {
        TreePtr device = Device(c.attributes);
        stDeviceOptions options;
        std::string error;
        ASSERT_EQ(ParseDeviceOptions(device.get(), options, error), c.accepted) << error;
        if (c.accepted) {
            EXPECT_EQ(options.interfaceName, c.name);
            EXPECT_EQ(options.controlDir, c.controlDir);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
    stDeviceOptions options;
    std::string error;
    TreePtr device = Device({{"ADDRESS", "02-00-00-00-01-0A"}});
    ASSERT_TRUE(ParseDeviceOptions(device.get(), options, error));
    EXPECT_TRUE(options.hasAddress);
    EXPECT_EQ(FormatAddress(options.address), "02:00:00:00:01:0a");
}

// Through the built module, as the library loads it. This machine's kernel may lack nl80211
// entirely; either way the named interface does not exist.
TEST(LinuxAdapterModuleTest, AbsentInterfaceIsListedAsUnavailableWithClearError) {
    platform::ModuleHandle module = platform::LoadModule(AIRVANE_LINUX_ADAPTER_PATH);
    ASSERT_NE(module, nullptr) << platform::LastModuleLoadError();
    const auto getAdapter =
        reinterpret_cast<WLANGetAdapterFn>(platform::GetModuleExport(module, "WLAN_GetAdapter"));
    ASSERT_NE(getAdapter, nullptr);

    TreePtr invalid = Device({{"ADDRESS", "nonsense"}});
    EXPECT_EQ(getAdapter(invalid.get()), nullptr);

    TreePtr device = Device({{"INTERFACE", "avtest9"}});
    IWLANAdapter* adapter = getAdapter(device.get());
    ASSERT_NE(adapter, nullptr);
    EXPECT_STREQ(adapter->GetAdapterName(), "avtest9");
    EXPECT_NE(std::string(adapter->GetFriendlyName()).find("avtest9"), std::string::npos);
    EXPECT_EQ(adapter->IsPreconfigured(), 1);
    EXPECT_EQ(adapter->IsHardwareAvailable(), 0);
    EXPECT_EQ(adapter->GetGeneriqueLastError(), WLAN_ERROR_HARDWARE_UNAVAILABLE);
    CNl80211 nl;
    nl.ListInterfaces();
    const bool hasNl80211 = nl.LastFailure() != NL_FAILURE_NO_FAMILY;
    EXPECT_EQ(adapter->GetSpecifiqueLastError(),
              hasNl80211 ? LINUX_ERROR_INTERFACE_ABSENT : LINUX_ERROR_NO_NL80211);
    EXPECT_EQ(adapter->Select(nullptr), 0);

    CWLANProfil profile;
    profile.SetSSID("Net");
    EXPECT_EQ(adapter->Connect(profile, nullptr), 0);
    EXPECT_EQ(adapter->GetGeneriqueLastError(), WLAN_ERROR_NOT_SELECTED);
    EXPECT_EQ(adapter->Disconnect(nullptr), 0);
    EXPECT_EQ(adapter->IsSecureMethodSupported(WLAN_SECURE_WPAPSK, nullptr), 1);
    EXPECT_EQ(adapter->IsSecureMethodSupported(WLAN_SECURE_WEPPLUS, nullptr), 0);
    if (!hasNl80211) {
        EXPECT_EQ(getAdapter(nullptr), nullptr); // discovery finds nothing without nl80211
    }
}

TEST(LinuxSignalQualityTest, MapsDbmLinearlyBetweenMinus100AndMinus50) {
    const std::pair<std::int32_t, std::uint32_t> cases[] = {
        {-120, 0}, {-100, 0}, {-99, 2}, {-75, 50}, {-51, 98}, {-50, 100}, {-30, 100}, {0, 100},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QualityFromDbm(c.first), c.second) << c.first;
    }
}

TEST(LinuxNetworkSecurityTest, ElementsAndPrivacyBitGiveWhatTheNetworkRequires) {
    using Bytes = std::vector<std::uint8_t>;
    const Bytes ssid = {0x00, 0x03, 'L', 'a', 'b'};
    // As hostapd advertises WPA2-PSK with CCMP.
    const Bytes rsnPsk = {0x30, 0x14, 0x01, 0x00, 0x00, 0x0f, 0xac, 0x04, 0x01, 0x00, 0x00,
                          0x0f, 0xac, 0x04, 0x01, 0x00, 0x00, 0x0f, 0xac, 0x02, 0x00, 0x00};
    Bytes rsnEap = rsnPsk;
    rsnEap[19] = 0x01;
    Bytes rsnBadVersion = rsnPsk;
    rsnBadVersion[2] = 0x02;
    const Bytes wpaPsk = {0xdd, 0x16, 0x00, 0x50, 0xf2, 0x01, 0x01, 0x00, 0x00, 0x50, 0xf2, 0x02,
                          0x01, 0x00, 0x00, 0x50, 0xf2, 0x02, 0x01, 0x00, 0x00, 0x50, 0xf2, 0x02};
    const Bytes otherVendor = {0xdd, 0x05, 0x00, 0x50, 0xf2, 0x02, 0x01};
    const Bytes truncated = {0x30, 0x14, 0x01, 0x00};
    auto join = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& part : parts) {
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    };
    const struct {
        Bytes elements;
        std::uint16_t capability;
        enNetworkSecurity expected;
    } cases[] = {
        {ssid, 0x0001, NETWORK_OPEN},
        {ssid, 0x0011, NETWORK_WEP},
        {join({ssid, rsnPsk}), 0x0011, NETWORK_WPA_PSK},
        {join({ssid, otherVendor, wpaPsk}), 0x0011, NETWORK_WPA_PSK},
        {join({ssid, rsnEap}), 0x0011, NETWORK_WPA_8021X},
        {join({ssid, rsnBadVersion}), 0x0011, NETWORK_WEP},
        {join({ssid, truncated}), 0x0011, NETWORK_WEP},
        {join({ssid, otherVendor}), 0x0001, NETWORK_OPEN},
    };
    for (std::size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        EXPECT_EQ(ClassifyNetwork(cases[i].elements, cases[i].capability), cases[i].expected) << "case " << i;
    }
}

} // namespace
} // namespace airvane::linux_wlan
