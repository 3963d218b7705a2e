// Multibyte text functions and the string table, run by the cases of cases/texts.txt.

#include "airvane/platform/MbString.h"
#include "airvane/platform/internal/StringTable.h"

#include "tests/support/CaseFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

namespace pf = airvane::platform;

std::string Step(const std::vector<std::string>& w) {
    const std::string& c = w[0];
    const char* a = w[1] == "\"\"" ? "" : w[1].c_str();
    const std::string second = w.size() > 2 && w[2] != "\"\"" ? w[2] : "";
    const char* b = second.c_str();
    if (c == "string") {
        const char* text = pf::LoadLibraryString(static_cast<unsigned>(std::strtoul(a, nullptr, 10)));
        return text == nullptr ? "none" : text;
    }
    if (c == "cmp") {
        const int sign = pf::MbsCmp(a, b);
        return std::to_string(sign < 0 ? -1 : sign > 0 ? 1 : 0);
    }
    if (c == "cpy") {
        char buffer[8];
        std::memset(buffer, '#', sizeof buffer);
        pf::MbsNbCpy(buffer, a, std::strtoul(b, nullptr, 10));
        return std::string(buffer, sizeof buffer);
    }
    const char* found = c == "str"    ? pf::MbsStr(a, b)
                        : c == "chr"  ? pf::MbsChr(a, static_cast<unsigned char>(b[0]))
                        : c == "rchr" ? pf::MbsRChr(a, static_cast<unsigned char>(b[0]))
                                      : pf::MbsPbrk(a, b);
    return found == nullptr ? "none" : std::to_string(found - a);
}

TEST(MbString, SearchesComparesCopiesAndTheStringTable) {
    for (const airvane::test::stCase& c : airvane::test::ReadCases(AIRVANE_PLATFORM_CASES "/texts.txt")) {
        SCOPED_TRACE(c.name);
        airvane::test::RunSteps(c, Step);
    }
}

// Only the low byte of the character value is searched for: a value whose low byte is zero never
// finds the terminator.
TEST(MbString, SearchesForTheLowByteOfTheCharacter) {
    const char text[] = "a,b,c";
    EXPECT_EQ(pf::MbsChr(text, 0x100), nullptr);
    EXPECT_EQ(pf::MbsRChr(text, 0x100), nullptr);
    EXPECT_EQ(pf::MbsChr(text, 0x100 | ','), text + 1);
    EXPECT_EQ(pf::MbsRChr(text, 0x100 | ','), text + 3);
}

} // namespace
