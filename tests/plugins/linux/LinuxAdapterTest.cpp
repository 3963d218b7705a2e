// The nl80211 adapter plug-in: DEVICE options, the signal-to-quality mapping and what a beacon's
// elements require (the cases of cases/adapter.txt), and the plug-in loaded by path on a machine
// without radios.

#include "airvane/manager/WLANAdapter.h"
#include "airvane/platform/Module.h"
#include "airvane/security/WLANProfil.h"
#include "airvane/xml/XMLReader.h"
#include "airvane/xml/XMLTree.h"
#include "plugins/linux/adapter/DeviceOptions.h"
#include "plugins/linux/adapter/LinuxErrors.h"
#include "plugins/linux/adapter/NetworkSecurity.h"
#include "plugins/linux/adapter/Nl80211.h"
#include "tests/support/CaseFile.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace airvane::linux_wlan {
namespace {

using TreePtr = std::unique_ptr<stXMLNode, void (*)(stXMLNode*)>;

TreePtr Device(const std::string& text) {
    return {XMLParseText(text.c_str(), static_cast<std::uint32_t>(text.size()), nullptr), XMLFreeTree};
}

// Runs the cases of cases/adapter.txt, which describes them.
TEST(LinuxAdapterTest, DeviceOptionsSignalQualityAndNetworkSecurity) {
    const char* kSecurity[] = {"open", "WEP", "WPA-PSK", "WPA-802.1X"};
    for (const test::stCase& c : test::ReadCases(AIRVANE_LINUX_CASES "/adapter.txt")) {
        SCOPED_TRACE(c.name);
        for (const std::string& text : c.All("device")) {
            stDeviceOptions parsed;
            std::string error;
            const bool accepted = ParseDeviceOptions(Device(text).get(), parsed, error);
            EXPECT_EQ(accepted, c.All("error").empty()) << error;
            EXPECT_EQ(error.empty(), accepted);
            EXPECT_EQ(accepted ? (parsed.interfaceName.empty() ? "-" : parsed.interfaceName) + " " +
                                     (parsed.hasAddress ? FormatAddress(parsed.address) : "-") + " " +
                                     parsed.controlDir
                               : "",
                      c.Get("read"));
        }
        for (const std::string& line : c.All("quality")) {
            const std::vector<std::string> words = test::SplitText(line, ' ');
            EXPECT_EQ(QualityFromDbm(std::stoi(words[0])), std::stoul(words[1])) << line;
        }
        for (const std::string& line : c.All("beacon")) {
            const std::vector<std::string> words = test::SplitText(line, ' ');
            const std::string bytes = test::BytesOf(words[0]);
            const std::vector<std::uint8_t> elements(bytes.begin(), bytes.end());
            EXPECT_EQ(kSecurity[ClassifyNetwork(
                          elements, static_cast<std::uint16_t>(std::stoul(words[1], nullptr, 16)))],
                      words[2]);
        }
    }
}

// Through the built module, as the library loads it. This machine's kernel may lack nl80211
// entirely; either way the named interface does not exist.
TEST(LinuxAdapterModuleTest, AbsentInterfaceIsListedAsUnavailableWithClearError) {
    platform::ModuleHandle module = platform::LoadModule(AIRVANE_LINUX_ADAPTER_PATH);
    ASSERT_NE(module, nullptr) << platform::LastModuleLoadError();
    const auto getAdapter =
        reinterpret_cast<WLAN_GetAdapterFn>(platform::GetModuleExport(module, kWLANGetAdapterExport));
    ASSERT_NE(getAdapter, nullptr);

    TreePtr invalid = Device("<DEVICE><LINUXWLAN ADDRESS=\"nonsense\"/></DEVICE>");
    EXPECT_EQ(getAdapter(invalid.get()), nullptr);

    TreePtr device = Device("<DEVICE><LINUXWLAN INTERFACE=\"avtest9\"/></DEVICE>");
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

} // namespace
} // namespace airvane::linux_wlan
