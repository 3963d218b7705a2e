#include "airvane/platform/MbString.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

namespace pf = airvane::platform;

TEST(MbString, Searches) {
    const char* text = "PCI\\VEN_168C&DEV_0013";
    EXPECT_EQ(pf::MbsStr(text, "VEN_"), text + 4);
    EXPECT_EQ(pf::MbsStr(text, "ven_"), nullptr);
    EXPECT_EQ(pf::MbsStr(text, ""), text);
    EXPECT_EQ(pf::MbsChr(text, '&'), text + 12);
    EXPECT_EQ(pf::MbsChr(text, '#'), nullptr);
    EXPECT_EQ(pf::MbsChr(text, 0), nullptr); // the terminator is not a character
}

TEST(MbString, LastOccurrenceAndSetSearch) {
    const char* text = "a_b_c";
    EXPECT_EQ(pf::MbsRChr(text, '_'), text + 3);
    EXPECT_EQ(pf::MbsRChr(text, 'x'), nullptr);
    EXPECT_EQ(pf::MbsRChr(text, 0), nullptr);
    const char* list = " ,;name";
    EXPECT_EQ(pf::MbsPbrk(list, ";,"), list + 1);
    EXPECT_EQ(pf::MbsPbrk("name", ";,"), nullptr);
    // UTF-8 sequences never contain ASCII bytes, so ASCII searches skip them whole.
    const char* utf8 = "\xC3\xA9t\xC3\xA9,x";
    EXPECT_EQ(pf::MbsChr(utf8, ','), utf8 + 5);
}

TEST(MbString, CompareIsExactAndUnsigned) {
    EXPECT_EQ(pf::MbsCmp("XP", "XP"), 0);
    EXPECT_NE(pf::MbsCmp("XP", "xp"), 0);
    EXPECT_LT(pf::MbsCmp("XP", "XP64"), 0);
    EXPECT_GT(pf::MbsCmp("\x80", "a"), 0);
}

TEST(MbString, BoundedCopy) {
    char buffer[8];
    std::memset(buffer, '#', sizeof(buffer));
    pf::MbsNbCpy(buffer, "abc", sizeof(buffer));
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], '#'); // no padding after the terminator

    std::memset(buffer, '#', sizeof(buffer));
    pf::MbsNbCpy(buffer, "abcdefgh", 4);
    EXPECT_EQ(std::string(buffer, 5), "abcd#"); // not terminated when the source is longer
}

} // namespace
