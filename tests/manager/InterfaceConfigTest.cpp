#include "airvane/manager/InterfaceConfig.h"

#include "airvane/manager/GestionModeAcces.h"
#include "airvane/xml/XMLReader.h"
#include "airvane/xml/XMLWriter.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using airvane::test::CScopedEnv;
using airvane::test::RunInChild;

// Compact picture of a tree read straight from its records:
// NAME[ATTR=value,...]{children...} with siblings separated by ",".
std::string Describe(const stXMLNode* node) {
    std::string text;
    for (; node != nullptr; node = node->nextSibling) {
        if (!text.empty()) {
            text += ",";
        }
        text += node->name != nullptr ? node->name : "?";
        if (node->attributes != nullptr) {
            text += "[";
            for (const stXMLAttribute* attribute = node->attributes; attribute != nullptr;
                 attribute = attribute->next) {
                text += std::string(attribute->name) + "=" +
                        (attribute->value != nullptr ? attribute->value : "?");
                text += attribute->next != nullptr ? "," : "";
            }
            text += "]";
        }
        if (node->firstChild != nullptr) {
            text += "{" + Describe(node->firstChild) + "}";
        }
    }
    return text;
}

std::string Serialize(const stXMLNode* node) {
    std::string text(XMLSerialize(node, nullptr, 0), '\0');
    XMLSerialize(node, text.data(), 0);
    return text;
}

// A host object whose wireless list holds `entries`.
struct stHost {
    explicit stHost(std::vector<AccessModeEntry> list) : entries(std::move(list)) {
        modes.m_lists[kAccessModeWifi].entries = entries.data();
        modes.m_lists[kAccessModeWifi].count = static_cast<std::int32_t>(entries.size());
    }
    std::vector<AccessModeEntry> entries;
    CGestionModeAcces modes{};
};

AccessModeEntry Entry(const char* kit, const char* hardwareId, const char* drivers, std::int32_t mode = 7) {
    AccessModeEntry entry{};
    entry.kitName = kit;
    entry.hardwareId = hardwareId;
    entry.driverList = drivers;
    entry.accessMode = mode;
    return entry;
}

std::string Synthesize(stHost& host) {
    stXMLNode* root = BuildInterfaceConfig(&host.modes);
    const std::string text = Describe(root);
    XMLFreeTree(root);
    return text;
}

TEST(BuildInterfaceConfigTest, WorkedExampleGivesReversedAdaptersAndDevices) {
    stHost host(
        {Entry("KitA", "HW-A", "drv1.dll\"XP;2000\""), Entry("KitB", "HW-B", "drv1.dll\"98\"drv2.dll")});
    stXMLNode* root = BuildInterfaceConfig(&host.modes);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Describe(root),
              "WLAN{"
              "ADAPTER[DLL=drv2.dll]{DEVICE[CLASS=NET,HARDWAREID=HW-B]{X[KITNAME=KitB]}},"
              "ADAPTER[DLL=drv1.dll]{DEVICE[CLASS=NET,HARDWAREID=HW-B]{X[KITNAME=KitB,OSCODE=98]},"
              "DEVICE[CLASS=NET,HARDWAREID=HW-A]{X[KITNAME=KitA,OSCODE=XP;2000]}}}");
    EXPECT_EQ(Serialize(root),
              "<WLAN>\n"
              "<ADAPTER DLL=\"drv2.dll\">\n"
              "<DEVICE CLASS=\"NET\" HARDWAREID=\"HW-B\">\n<X KITNAME=\"KitB\"></X>\n</DEVICE>\n"
              "</ADAPTER>\n"
              "<ADAPTER DLL=\"drv1.dll\">\n"
              "<DEVICE CLASS=\"NET\" HARDWAREID=\"HW-B\">\n<X KITNAME=\"KitB\" OSCODE=\"98\"></X>\n"
              "</DEVICE>\n"
              "<DEVICE CLASS=\"NET\" HARDWAREID=\"HW-A\">\n<X KITNAME=\"KitA\" OSCODE=\"XP;2000\"></X>\n"
              "</DEVICE>\n"
              "</ADAPTER>\n"
              "</WLAN>\n");
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(root->nextSibling, nullptr);
    XMLFreeTree(root);
}

TEST(BuildInterfaceConfigTest, DriverListForms) {
    // A single name without quote: one device without OSCODE.
    stHost single({Entry("K", "H", "drv1.dll")});
    EXPECT_EQ(Synthesize(single),
              "WLAN{ADAPTER[DLL=drv1.dll]{DEVICE[CLASS=NET,HARDWAREID=H]{X[KITNAME=K]}}}");
    // A quote right after the OSCODE list adds no device.
    stHost trailing({Entry("K", "H", "drv1.dll\"XP\"")});
    EXPECT_EQ(Synthesize(trailing),
              "WLAN{ADAPTER[DLL=drv1.dll]{DEVICE[CLASS=NET,HARDWAREID=H]{X[KITNAME=K,OSCODE=XP]}}}");
    // Blanks around tokens go, blanks inside stay.
    stHost blanks({Entry("K", "H", " \tmy drv.dll \r\n\" XP ; 2000 \n\"")});
    EXPECT_EQ(Synthesize(blanks),
              "WLAN{ADAPTER[DLL=my drv.dll]{DEVICE[CLASS=NET,HARDWAREID=H]{X[KITNAME=K,OSCODE=XP ; 2000]}}}");
    // Two pairs of the same module in one entry: two devices, the later pair first.
    stHost pairs({Entry("K", "H", "d.dll\"XP\"d.dll\"98\"")});
    EXPECT_EQ(Synthesize(pairs),
              "WLAN{ADAPTER[DLL=d.dll]{DEVICE[CLASS=NET,HARDWAREID=H]{X[KITNAME=K,OSCODE=98]},"
              "DEVICE[CLASS=NET,HARDWAREID=H]{X[KITNAME=K,OSCODE=XP]}}}");
    // An empty module token still makes an ADAPTER.
    stHost empty({Entry("K", "H", "\"XP\"")});
    EXPECT_EQ(Synthesize(empty),
              "WLAN{ADAPTER[DLL=]{DEVICE[CLASS=NET,HARDWAREID=H]{X[KITNAME=K,OSCODE=XP]}}}");
}

TEST(BuildInterfaceConfigTest, SameModuleInTwoEntriesSharesOneAdapter) {
    stHost host({Entry("K1", "H1", "d.dll"), Entry("K2", "H2", "d.dll")});
    EXPECT_EQ(Synthesize(host), "WLAN{ADAPTER[DLL=d.dll]{DEVICE[CLASS=NET,HARDWAREID=H2]{X[KITNAME=K2]},"
                                "DEVICE[CLASS=NET,HARDWAREID=H1]{X[KITNAME=K1]}}}");
}

TEST(BuildInterfaceConfigTest, SkipsOtherModesEmptyListsAndMissingTexts) {
    stHost host({Entry("K1", "H1", "other.dll", 3), Entry("K2", "H2", ""), Entry("K3", "H3", nullptr),
                 Entry(nullptr, nullptr, "d.dll")});
    EXPECT_EQ(Synthesize(host), "WLAN{ADAPTER[DLL=d.dll]{DEVICE[CLASS=NET,HARDWAREID=]{X[KITNAME=]}}}");
}

TEST(BuildInterfaceConfigTest, RootAloneWithoutUsableEntries) {
    stHost none({});
    EXPECT_EQ(Synthesize(none), "WLAN");
    stHost negative({Entry("K", "H", "d.dll")});
    negative.modes.m_lists[kAccessModeWifi].count = -1;
    EXPECT_EQ(Synthesize(negative), "WLAN");
    // Entries of mode 7 kept in another list are not looked at.
    stHost elsewhere({});
    AccessModeEntry entry = Entry("K", "H", "d.dll");
    elsewhere.modes.m_lists[6].entries = &entry;
    elsewhere.modes.m_lists[6].count = 1;
    EXPECT_EQ(Synthesize(elsewhere), "WLAN");
    EXPECT_EQ(BuildInterfaceConfig(nullptr), nullptr);
}

// Runs the OS filter on the DEVICE of `xml` with the given emulated version (null: none).
bool DeviceApplies(const char* version, const char* xml) {
    const int status = RunInChild([&]() {
        CScopedEnv env("AIRVANE_OS_VERSION", version);
        stXMLNode* device = XMLParseText(xml, static_cast<std::uint32_t>(std::strlen(xml)), nullptr);
        if (device == nullptr || std::strcmp(device->name, "DEVICE") != 0) {
            return 2;
        }
        const bool applies = IsDeviceForCurrentOS(device);
        XMLFreeTree(device);
        return applies ? 10 : 11;
    });
    EXPECT_TRUE(status == 10 || status == 11) << "child status " << status;
    return status == 10;
}

constexpr const char kXP[] = "2.5.1.2600";
constexpr const char k2000[] = "2.5.0.2195";

TEST(IsDeviceForCurrentOSTest, CodeListWithBlanksMatchesEachListedSystem) {
    const char* device = "<DEVICE><X KITNAME=\"k\" OSCODE=\" XP\t ;\r\n 2000 \"/></DEVICE>";
    EXPECT_TRUE(DeviceApplies(kXP, device));
    EXPECT_TRUE(DeviceApplies(k2000, device));
    EXPECT_FALSE(DeviceApplies("1.4.10.1998", device));
    EXPECT_TRUE(DeviceApplies(k2000, "<DEVICE><X OSCODE=\"98,2000\"/></DEVICE>"));
}

TEST(IsDeviceForCurrentOSTest, CodesAreCaseSensitive) {
    EXPECT_FALSE(DeviceApplies(kXP, "<DEVICE><X OSCODE=\"xp\"/></DEVICE>"));
    EXPECT_TRUE(DeviceApplies(kXP, "<DEVICE><X OSCODE=\"XP\"/></DEVICE>"));
}

TEST(IsDeviceForCurrentOSTest, MissingOrEmptyCodeList) {
    EXPECT_TRUE(DeviceApplies(kXP, "<DEVICE><X KITNAME=\"k\"/></DEVICE>"));
    EXPECT_TRUE(DeviceApplies(kXP, "<DEVICE CLASS=\"NET\"></DEVICE>"));
    EXPECT_TRUE(DeviceApplies(kXP, "<DEVICE><Y OSCODE=\"98\"/></DEVICE>"));
    EXPECT_FALSE(DeviceApplies(kXP, "<DEVICE><X OSCODE=\"\"/></DEVICE>"));
}

TEST(IsDeviceForCurrentOSTest, OnlyTheFirstXCounts) {
    EXPECT_FALSE(DeviceApplies(kXP, "<DEVICE><X OSCODE=\"98\"/><X OSCODE=\"XP\"/></DEVICE>"));
    EXPECT_TRUE(DeviceApplies(kXP, "<DEVICE><X OSCODE=\"XP\"/><X OSCODE=\"98\"/></DEVICE>"));
    EXPECT_TRUE(DeviceApplies(kXP, "<DEVICE><X KITNAME=\"k\"/><X OSCODE=\"98\"/></DEVICE>"));
}

TEST(IsDeviceForCurrentOSTest, UnrecognisedSystemMatchesOnlyAnEmptyCode) {
    EXPECT_FALSE(DeviceApplies(nullptr, "<DEVICE><X OSCODE=\"XP;2000\"/></DEVICE>"));
    EXPECT_TRUE(DeviceApplies(nullptr, "<DEVICE><X OSCODE=\"XP;;2000\"/></DEVICE>"));
    EXPECT_TRUE(DeviceApplies(nullptr, "<DEVICE><X OSCODE=\" \"/></DEVICE>"));
}

} // namespace
