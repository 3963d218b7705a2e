#include "airvane/manager/internal/InterfaceConfig.h"
#include "airvane/manager/internal/Tokenizer.h"

#include "airvane/manager/GestionModeAcces.h"
#include "airvane/xml/XMLReader.h"
#include "airvane/xml/internal/XMLMemory.h"
#include "tests/support/CaseFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

TEST(GestionModeAccesTest, ListsFollowTheHeadOneAfterAnotherAndNoneLiesOutside) {
    CGestionModeAcces modes{};
    const auto base = reinterpret_cast<std::uintptr_t>(&modes);
    const std::uintptr_t head = sizeof(void*) + 4 * sizeof(std::int32_t);
    for (std::int32_t index = 0; index < CGestionModeAcces::kAccessModeListCount; ++index) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(modes.GetAccessModeList(index)),
                  base + head + static_cast<std::uintptr_t>(index) * sizeof(AccessModeList));
    }
    EXPECT_EQ(modes.GetAccessModeList(kAccessModeWifi), &modes.m_lists[7]);
    // No list outside the object.
    EXPECT_EQ(modes.GetAccessModeList(-1), nullptr);
    EXPECT_EQ(modes.GetAccessModeList(-2), nullptr);
    EXPECT_EQ(modes.GetAccessModeList(CGestionModeAcces::kAccessModeListCount), nullptr);
}

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

// The tree built from a host object holding the case's entries (cases/interface_config.txt).
std::string Synthesize(const airvane::test::stCase& c) {
    const std::vector<std::string> lines = c.All("entry");
    std::vector<std::vector<std::string>> texts; // kept in place: the entries point into them
    texts.reserve(lines.size());
    std::vector<AccessModeEntry> entries;
    for (const std::string& line : lines) {
        const auto& t = texts.emplace_back(airvane::test::SplitText(line, '|'));
        const auto text = [&t](std::size_t i) { return t.at(i) == "~" ? nullptr : t.at(i).c_str(); };
        entries.push_back({text(0), text(1), 0, text(2), nullptr, std::stoi(t.at(3)), nullptr, nullptr});
    }
    CGestionModeAcces modes{};
    AccessModeList& list = modes.m_lists[std::stoi(c.Get("list", "7"))];
    list.entries = entries.data();
    list.count = std::stoi(c.Get("count", std::to_string(entries.size())));
    stXMLNode* root = BuildInterfaceConfig(&modes);
    EXPECT_TRUE(root != nullptr && root->parent == nullptr) << "a document of its own";
    std::string text = Describe(root);
    XMLFreeTree(root);
    return text;
}

// The host-data manager scenarios trace devices of such trees as text.
TEST(BuildInterfaceConfigTest, OneAdapterPerModuleOneDevicePerPairNewestFirst) {
    for (const airvane::test::stCase& c :
         airvane::test::ReadCases(AIRVANE_MANAGER_CASES "/interface_config.txt")) {
        EXPECT_EQ(Synthesize(c), c.Get("tree")) << c.name;
    }
    EXPECT_EQ(BuildInterfaceConfig(nullptr), nullptr);
}

// Whatever allocation fails, an element reaches the document whole or not at all: a DEVICE
// without the OSCODE of its X child would apply to every system.
TEST(BuildInterfaceConfigTest, AnElementThatCannotBeBuiltWholeIsLeftOut) {
    AccessModeEntry entry{"KIT", "HW", 0, "drv.dll\"98", nullptr, kAccessModeWifi, nullptr, nullptr};
    CGestionModeAcces modes{};
    modes.m_lists[kAccessModeWifi].entries = &entry;
    modes.m_lists[kAccessModeWifi].count = 1;
    const std::string whole =
        "WLAN{ADAPTER[DLL=drv.dll]{DEVICE[CLASS=NET,HARDWAREID=HW]{X[KITNAME=KIT,OSCODE=98]}}}";
    airvane::xml::TrackAllocations();
    for (long successes = 0; successes < 100; ++successes) {
        airvane::xml::FailAllocationsAfter(successes, true);
        stXMLNode* root = BuildInterfaceConfig(&modes);
        airvane::xml::FailAllocationsAfter(-1, false);
        const std::string text = Describe(root);
        XMLFreeTree(root);
        EXPECT_TRUE(text.empty() || text == "WLAN" || text == "WLAN{ADAPTER[DLL=drv.dll]}" || text == whole)
            << "allocation " << successes << " failed: " << text;
        if (text == whole) {
            return;
        }
    }
    ADD_FAILURE() << "never built whole";
}

TEST(IsDeviceForCurrentOSTest, ACodeListThatCannotBeCopiedNamesNoSystem) {
    const std::string text = "<DEVICE><X OSCODE=\"98\"/></DEVICE>";
    stXMLNode* device = XMLParseText(text.c_str(), static_cast<std::uint32_t>(text.size()), nullptr);
    ASSERT_NE(device, nullptr);
    airvane::xml::TrackAllocations();
    airvane::xml::FailAllocationsAfter(0, true);
    EXPECT_FALSE(IsDeviceForCurrentOS(device));
    airvane::xml::FailAllocationsAfter(-1, false);
    XMLFreeTree(device);
}

// One NextToken call per "token" of the case; its "after" lines give the cursor offset, the
// remaining count and the buffer capacity after each call. Whatever the case, the buffer only
// moves when it grows and is zeroed past the token, and nothing remains after the last token.
TEST(NextTokenTest, CutsTokensAdvancesWithinTheCountAndReusesTheBuffer) {
    for (const airvane::test::stCase& c : airvane::test::ReadCases(AIRVANE_MANAGER_CASES "/tokens.txt")) {
        SCOPED_TRACE(c.name);
        const std::string text = c.Get("text");
        const char* cursor = text.c_str();
        std::size_t remaining = std::stoul(c.Get("length", std::to_string(text.size())));
        char* buffer = nullptr;
        std::size_t capacity = 0;
        const std::vector<std::string> tokens = c.All("token"), after = c.All("after");
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            char* const before = buffer;
            const std::size_t held = capacity;
            ASSERT_EQ(NextToken(c.Get("delimiters").c_str(), "\t \r\n", cursor, remaining, buffer, capacity),
                      1);
            ASSERT_NE(buffer, nullptr);
            EXPECT_EQ(buffer, tokens[i]);
            EXPECT_EQ(std::string(buffer, capacity + 1),
                      tokens[i] + std::string(capacity + 1 - tokens[i].size(), '\0'));
            EXPECT_TRUE(capacity != held || buffer == before || before == nullptr) << tokens[i];
            if (i < after.size()) {
                EXPECT_EQ(std::to_string(cursor - text.c_str()) + " " + std::to_string(remaining) + " " +
                              std::to_string(capacity),
                          after[i]);
            }
        }
        EXPECT_EQ(remaining, 0u);
        ReleaseTokenBuffer(buffer, capacity);
        EXPECT_EQ(buffer, nullptr);
        EXPECT_EQ(capacity, 0u);
    }
}

#if !defined(_WIN32)
// The system is emulated through the POSIX backend's AIRVANE_OS_VERSION and identified once per
// process, so each device is judged in a child of its own.
TEST(IsDeviceForCurrentOSTest, MatchesTheFirstXCodeListAgainstTheSystemCode) {
    for (const airvane::test::stCase& c :
         airvane::test::ReadCases(AIRVANE_MANAGER_CASES "/device_systems.txt")) {
        for (const char* answer : {"yes", "no"}) {
            for (const std::string& text : c.All(answer)) {
                SCOPED_TRACE(c.name + " " + text);
                EXPECT_EQ(
                    airvane::test::RunInChild([&]() {
                        airvane::test::CScopedEnv env("AIRVANE_OS_VERSION", c.fields[0].key == "os"
                                                                                ? c.Get("os").c_str()
                                                                                : nullptr); // none: unknown
                        stXMLNode* device =
                            XMLParseText(text.c_str(), static_cast<std::uint32_t>(text.size()), nullptr);
                        const int result = device == nullptr ? 2 : IsDeviceForCurrentOS(device) ? 10 : 11;
                        XMLFreeTree(device);
                        return result;
                    }),
                    std::string(answer) == "yes" ? 10 : 11);
            }
        }
    }
}
#endif

} // namespace
