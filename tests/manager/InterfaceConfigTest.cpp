#include "airvane/manager/internal/InterfaceConfig.h"

#include "airvane/manager/GestionModeAcces.h"
#include "airvane/xml/XMLReader.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Compact picture of a tree read straight from its records:
// NAME[ATTR=value,...]{children...} with siblings separated by ",".
std::string Describe(const stXMLNode* node) {
    std::string text;
    for (; node != nullptr; node = node->nextSibling) {
        text += (text.empty() ? "" : ",") + std::string(node->name != nullptr ? node->name : "?");
        for (const stXMLAttribute* attribute = node->attributes; attribute != nullptr;
             attribute = attribute->next) {
            text += (attribute == node->attributes ? "[" : ",") + std::string(attribute->name) + "=" +
                    (attribute->value != nullptr ? attribute->value : "?") +
                    (attribute->next != nullptr ? "" : "]");
        }
        if (node->firstChild != nullptr) {
            text += "{" + Describe(node->firstChild) + "}";
        }
    }
    return text;
}

AccessModeEntry Entry(const char* kit, const char* hardwareId, const char* drivers, std::int32_t mode = 7) {
    return AccessModeEntry{kit, hardwareId, 0, drivers, nullptr, mode, nullptr, nullptr};
}

// Tree built from a host object whose list `list` holds `entries` (count: their number
// unless given).
std::string Synthesize(std::vector<AccessModeEntry> entries, int list = kAccessModeWifi, int count = -2) {
    CGestionModeAcces modes{};
    modes.m_lists[list].entries = entries.data();
    modes.m_lists[list].count = count == -2 ? static_cast<std::int32_t>(entries.size()) : count;
    stXMLNode* root = BuildInterfaceConfig(&modes);
    EXPECT_TRUE(root != nullptr && root->parent == nullptr) << "a document of its own";
    const std::string text = Describe(root);
    XMLFreeTree(root);
    return text;
}

// ADAPTERs come in the reverse order of their modules' first appearance, DEVICEs in the reverse
// order of their pairs. The host-data manager scenarios trace devices of such a tree as text.
TEST(BuildInterfaceConfigTest, OneAdapterPerModuleOneDevicePerPairNewestFirst) {
    const std::string device = "DEVICE[CLASS=NET,HARDWAREID=H]{X[KITNAME=K";
    const struct {
        const char* name;
        std::vector<AccessModeEntry> entries;
        std::string tree;
    } cases[] = {
        {"single name without quote: no OSCODE",
         {Entry("K", "H", "drv1.dll")},
         "WLAN{ADAPTER[DLL=drv1.dll]{" + device + "]}}}"},
        {"quote right after the OSCODE list adds no device",
         {Entry("K", "H", "drv1.dll\"XP\"")},
         "WLAN{ADAPTER[DLL=drv1.dll]{" + device + ",OSCODE=XP]}}}"},
        {"blanks around tokens go, inside stay",
         {Entry("K", "H", " \tmy drv.dll \r\n\" XP ; 2000 \n\"")},
         "WLAN{ADAPTER[DLL=my drv.dll]{" + device + ",OSCODE=XP ; 2000]}}}"},
        {"two pairs of one module: later pair first",
         {Entry("K", "H", "d.dll\"XP\"d.dll\"98\"")},
         "WLAN{ADAPTER[DLL=d.dll]{" + device + ",OSCODE=98]}," + device + ",OSCODE=XP]}}}"},
        {"empty module token still makes an ADAPTER",
         {Entry("K", "H", "\"XP\"")},
         "WLAN{ADAPTER[DLL=]{" + device + ",OSCODE=XP]}}}"},
        {"same module in two entries shares one ADAPTER",
         {Entry("K1", "H1", "d.dll"), Entry("K2", "H2", "d.dll")},
         "WLAN{ADAPTER[DLL=d.dll]{DEVICE[CLASS=NET,HARDWAREID=H2]{X[KITNAME=K2]},"
         "DEVICE[CLASS=NET,HARDWAREID=H1]{X[KITNAME=K1]}}}"},
        {"other modes, empty lists and missing texts",
         {Entry("K1", "H1", "other.dll", 3), Entry("K2", "H2", ""), Entry("K3", "H3", nullptr),
          Entry(nullptr, nullptr, "d.dll")},
         "WLAN{ADAPTER[DLL=d.dll]{DEVICE[CLASS=NET,HARDWAREID=]{X[KITNAME=]}}}"},
        {"no entries", {}, "WLAN"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Synthesize(c.entries), c.tree) << c.name;
    }
    EXPECT_EQ(Synthesize({Entry("K", "H", "d.dll")}, kAccessModeWifi, -1), "WLAN") << "negative count";
    // Entries of mode 7 kept in another list are not looked at.
    EXPECT_EQ(Synthesize({Entry("K", "H", "d.dll")}, 6), "WLAN");
    EXPECT_EQ(BuildInterfaceConfig(nullptr), nullptr);
}

#if !defined(_WIN32)
// The system is emulated through the POSIX backend's AIRVANE_OS_VERSION, once per child.
TEST(IsDeviceForCurrentOSTest, MatchesTheFirstXCodeListAgainstTheSystemCode) {
    constexpr const char* kXP = "2.5.1.2600";
    constexpr const char* k2000 = "2.5.0.2195";
    const struct {
        const char* version; // null: unrecognised system
        const char* device;
        bool applies;
    } cases[] = {
        // Code lists with blanks match each listed system; "," and ";" both separate.
        {kXP, "<DEVICE><X KITNAME=\"k\" OSCODE=\" XP\t ;\r\n 2000 \"/></DEVICE>", true},
        {k2000, "<DEVICE><X KITNAME=\"k\" OSCODE=\" XP\t ;\r\n 2000 \"/></DEVICE>", true},
        {"1.4.10.1998", "<DEVICE><X KITNAME=\"k\" OSCODE=\" XP\t ;\r\n 2000 \"/></DEVICE>", false},
        {k2000, "<DEVICE><X OSCODE=\"98,2000\"/></DEVICE>", true},
        // Codes are case-sensitive.
        {kXP, "<DEVICE><X OSCODE=\"xp\"/></DEVICE>", false},
        {kXP, "<DEVICE><X OSCODE=\"XP\"/></DEVICE>", true},
        // A missing list applies everywhere, an empty one nowhere.
        {kXP, "<DEVICE><X KITNAME=\"k\"/></DEVICE>", true},
        {kXP, "<DEVICE CLASS=\"NET\"></DEVICE>", true},
        {kXP, "<DEVICE><Y OSCODE=\"98\"/></DEVICE>", true},
        {kXP, "<DEVICE><X OSCODE=\"\"/></DEVICE>", false},
        // Only the first X counts.
        {kXP, "<DEVICE><X OSCODE=\"98\"/><X OSCODE=\"XP\"/></DEVICE>", false},
        {kXP, "<DEVICE><X OSCODE=\"XP\"/><X OSCODE=\"98\"/></DEVICE>", true},
        {kXP, "<DEVICE><X KITNAME=\"k\"/><X OSCODE=\"98\"/></DEVICE>", true},
        // An unrecognised system matches only an empty code.
        {nullptr, "<DEVICE><X OSCODE=\"XP;2000\"/></DEVICE>", false},
        {nullptr, "<DEVICE><X OSCODE=\"XP;;2000\"/></DEVICE>", true},
        {nullptr, "<DEVICE><X OSCODE=\" \"/></DEVICE>", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.version != nullptr ? c.version : "none") + " " + c.device);
        // The system is identified once per process.
        EXPECT_EQ(airvane::test::RunInChild([&]() {
                      airvane::test::CScopedEnv env("AIRVANE_OS_VERSION", c.version);
                      stXMLNode* device =
                          XMLParseText(c.device, static_cast<std::uint32_t>(std::strlen(c.device)), nullptr);
                      const int result = device == nullptr ? 2 : IsDeviceForCurrentOS(device) ? 10 : 11;
                      XMLFreeTree(device);
                      return result;
                  }),
                  c.applies ? 10 : 11);
    }
}
#endif

} // namespace
