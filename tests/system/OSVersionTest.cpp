#include "airvane/system/OSVersion.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

namespace {

using airvane::test::CScopedEnv;
using airvane::test::RunInChild;

constexpr std::uint32_t kWindows = 1;
constexpr std::uint32_t kNT = 2;

std::uint32_t Build(std::uint32_t major, std::uint32_t minor, std::uint32_t low) {
    return (major << 24) | (minor << 16) | low;
}

std::string CodeOf(std::uint32_t platform, std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
    return COSVersion::OSCodeForIndex(COSVersion::LookupOSIndex(platform, major, minor, build));
}

TEST(OSVersionLookup, EachRowOfTheVersionTable) {
    EXPECT_EQ(COSVersion::LookupOSIndex(kWindows, 4, 0, 950), 0);
    EXPECT_EQ(COSVersion::LookupOSIndex(kWindows, 4, 10, 1998), 2);
    EXPECT_EQ(COSVersion::LookupOSIndex(kNT, 4, 0, 1381), 4);
    EXPECT_EQ(COSVersion::LookupOSIndex(kNT, 5, 0, 2195), 5);
    EXPECT_EQ(COSVersion::LookupOSIndex(kNT, 5, 1, 2600), 7);
    EXPECT_EQ(COSVersion::LookupOSIndex(kWindows, 4, 90, 3000), 6);
    EXPECT_EQ(COSVersion::LookupOSIndex(kNT, 5, 2, 3790), 8);
}

TEST(OSVersionLookup, Windows95BuildsUseTheLow16Bits) {
    EXPECT_EQ(CodeOf(kWindows, 4, 0, Build(4, 0, 950)), "95");
    EXPECT_EQ(CodeOf(kWindows, 4, 0, Build(4, 0, 1111)), "95b");
    EXPECT_EQ(CodeOf(kWindows, 4, 0, Build(4, 0, 1212)), "95b");
    EXPECT_EQ(CodeOf(kWindows, 4, 0, 1111), "95b");
    EXPECT_EQ(CodeOf(kWindows, 4, 0, Build(4, 0, 1112)), "95");
    // The high half never decides: 1111 there is not the 95b build.
    EXPECT_EQ(CodeOf(kWindows, 4, 0, 1111u << 16), "95");
}

TEST(OSVersionLookup, Windows98BuildsUseTheLow16Bits) {
    EXPECT_EQ(CodeOf(kWindows, 4, 10, 1998), "98");
    EXPECT_EQ(CodeOf(kWindows, 4, 10, 2222), "98SE");
    EXPECT_EQ(CodeOf(kWindows, 4, 10, Build(4, 10, 2222)), "98SE");
    EXPECT_EQ(CodeOf(kWindows, 4, 10, 2223), "98");
    EXPECT_EQ(CodeOf(kWindows, 4, 10, 2222u << 16), "98");
    // The build rules belong to the 95 and 98 rows only.
    EXPECT_EQ(CodeOf(kNT, 5, 1, 1111), "XP");
    EXPECT_EQ(CodeOf(kWindows, 4, 90, 2222), "ME");
    EXPECT_EQ(CodeOf(kNT, 4, 0, 1212), "NT40");
}

TEST(OSVersionLookup, UnrecognisedSystemsHaveNoCode) {
    EXPECT_EQ(COSVersion::LookupOSIndex(kNT, 6, 0, 6000), -1);
    EXPECT_EQ(COSVersion::LookupOSIndex(0, 0, 0, 0), -1);
    EXPECT_EQ(COSVersion::LookupOSIndex(3, 4, 0, 950), -1);
    EXPECT_EQ(COSVersion::LookupOSIndex(kWindows, 5, 1, 2600), -1); // XP numbers on the 9x platform
    EXPECT_EQ(COSVersion::LookupOSIndex(kNT, 4, 10, 1998), -1);
    EXPECT_EQ(COSVersion::LookupOSIndex(kNT, 5, 3, 0), -1);
    EXPECT_EQ(CodeOf(kNT, 6, 0, 6000), "");
}

TEST(OSVersionLookup, CodeTable) {
    const char* expected[] = {"95", "95b", "98", "98SE", "NT40", "2000", "ME", "XP", "XP64"};
    for (int index = 0; index < 9; ++index) {
        EXPECT_STREQ(COSVersion::OSCodeForIndex(index), expected[index]);
    }
    EXPECT_STREQ(COSVersion::OSCodeForIndex(-1), "");
    EXPECT_STREQ(COSVersion::OSCodeForIndex(9), "");
    EXPECT_STREQ(COSVersion::OSCodeForIndex(-2), "");
}

// The identification object is process-wide: each scenario runs in a fresh child.
std::string CodeInChildFor(const char* version) {
    std::string code;
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        ADD_FAILURE() << "pipe failed";
        return code;
    }
    const int status = RunInChild([&] {
        ::close(pipeEnds[0]);
        CScopedEnv env("AIRVANE_OS_VERSION", version);
        const std::string answer = COSVersion::Instance().GetOSCode();
        const bool written =
            ::write(pipeEnds[1], answer.data(), answer.size()) == static_cast<ssize_t>(answer.size());
        ::close(pipeEnds[1]);
        return written ? 0 : 3;
    });
    ::close(pipeEnds[1]);
    char buffer[64];
    ssize_t got;
    while ((got = ::read(pipeEnds[0], buffer, sizeof(buffer))) > 0) {
        code.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeEnds[0]);
    EXPECT_EQ(status, 0) << version;
    return code;
}

TEST(OSVersionInstance, IdentifiesTheEmulatedSystem) {
    EXPECT_EQ(CodeInChildFor("2.5.1.2600"), "XP");
    EXPECT_EQ(CodeInChildFor("2.5.0.2195"), "2000");
    EXPECT_EQ(CodeInChildFor("2.5.2.3790"), "XP64");
    EXPECT_EQ(CodeInChildFor("2.4.0.1381"), "NT40");
    EXPECT_EQ(CodeInChildFor("1.4.0.67109814"), "95");  // 4.0 and 950
    EXPECT_EQ(CodeInChildFor("1.4.0.67109975"), "95b"); // 4.0 and 1111
    EXPECT_EQ(CodeInChildFor("1.4.10.1998"), "98");
    EXPECT_EQ(CodeInChildFor("1.4.10.2222"), "98SE");
    EXPECT_EQ(CodeInChildFor("1.4.90.3000"), "ME");
}

TEST(OSVersionInstance, UnrecognisedSystemGivesEmptyCode) {
    EXPECT_EQ(CodeInChildFor("2.6.0.6000"), "");
    EXPECT_EQ(CodeInChildFor("0.0.0.0"), "");
    EXPECT_EQ(CodeInChildFor("garbage"), "");
}

TEST(OSVersionInstance, IdentifiesOnceAndKeepsTheObject) {
    const int status = RunInChild([] {
        CScopedEnv xp("AIRVANE_OS_VERSION", "2.5.1.2600");
        COSVersion& first = COSVersion::Instance();
        EXPECT_EQ(first.GetOSCode(), "XP");
        // A changed system answer is not asked for again.
        CScopedEnv other("AIRVANE_OS_VERSION", "2.5.0.2195");
        COSVersion& second = COSVersion::Instance();
        EXPECT_EQ(&second, &first);
        EXPECT_EQ(second.GetOSCode(), "XP");
        return 0;
    });
    EXPECT_EQ(status, 0);
}

} // namespace
