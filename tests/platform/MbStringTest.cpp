#include "airvane/platform/MbString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

namespace pf = airvane::platform;

TEST(MbString, Searches) {
    const char* text = "PCI\\VEN_168C&DEV_0013,x;_y";
    EXPECT_EQ(pf::MbsStr(text, "VEN_"), text + 4);
    EXPECT_EQ(pf::MbsStr(text, "ven_"), nullptr);
    EXPECT_EQ(pf::MbsStr(text, ""), text);
    EXPECT_EQ(pf::MbsChr(text, '&'), text + 12);
    EXPECT_EQ(pf::MbsChr(text, '#'), nullptr);
    EXPECT_EQ(pf::MbsRChr(text, '_'), text + 24);
    EXPECT_EQ(pf::MbsRChr(text, '#'), nullptr);
    EXPECT_EQ(pf::MbsPbrk(text, ";,"), text + 21);
    EXPECT_EQ(pf::MbsPbrk("name", ";,"), nullptr);
    // The terminator is not a character.
    EXPECT_EQ(pf::MbsChr(text, 0), nullptr);
    EXPECT_EQ(pf::MbsRChr(text, 0), nullptr);
    // UTF-8 sequences never contain ASCII bytes, so ASCII searches skip them whole.
    const char* utf8 = "\xC3\xA9t\xC3\xA9,x";
    EXPECT_EQ(pf::MbsChr(utf8, ','), utf8 + 5);
}

TEST(MbString, CompareIsExactAndUnsignedAndCopyIsBounded) {
    EXPECT_EQ(pf::MbsCmp("XP", "XP"), 0);
    EXPECT_NE(pf::MbsCmp("XP", "xp"), 0);
    EXPECT_LT(pf::MbsCmp("XP", "XP64"), 0);
    EXPECT_GT(pf::MbsCmp("\x80", "a"), 0);
    char buffer[8];
    std::memset(buffer, '#', sizeof(buffer));
    pf::MbsNbCpy(buffer, "abc", sizeof(buffer));
    EXPECT_EQ(std::string(buffer, 5), std::string("abc\0#", 5)); // no padding after the terminator
    std::memset(buffer, '#', sizeof(buffer));
    pf::MbsNbCpy(buffer, "abcdefgh", 4);
    EXPECT_EQ(std::string(buffer, 5), "abcd#"); // not terminated when the source is longer
}

} // namespace
