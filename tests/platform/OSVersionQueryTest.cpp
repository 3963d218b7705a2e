#include "airvane/platform/OSVersionQuery.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

namespace pf = airvane::platform;
using airvane::test::CScopedEnv;

pf::stOSVersionInfo Query() {
    pf::stOSVersionInfo info{77, 77, 77, 77};
    EXPECT_TRUE(pf::QueryOSVersion(info));
    return info;
}

void ExpectVersion(const pf::stOSVersionInfo& info, std::uint32_t platform, std::uint32_t major,
                   std::uint32_t minor, std::uint32_t build) {
    EXPECT_EQ(info.platformId, platform);
    EXPECT_EQ(info.majorVersion, major);
    EXPECT_EQ(info.minorVersion, minor);
    EXPECT_EQ(info.buildNumber, build);
}

TEST(OSVersionQuery, LinuxIsNoRecognisedPlatform) {
    CScopedEnv unset("AIRVANE_OS_VERSION", nullptr);
    ExpectVersion(Query(), 0, 0, 0, 0);
}

TEST(OSVersionQuery, EnvironmentGivesTheVersionToReport) {
    {
        CScopedEnv xp("AIRVANE_OS_VERSION", "2.5.1.2600");
        ExpectVersion(Query(), 2, 5, 1, 2600);
    }
    {
        // 4.0 in the high half of the build, 950 in the low half.
        CScopedEnv win95("AIRVANE_OS_VERSION", "1.4.0.67109814");
        ExpectVersion(Query(), 1, 4, 0, (4u << 24) | 950u);
    }
    CScopedEnv largest("AIRVANE_OS_VERSION", "4294967295.0.0.4294967295");
    ExpectVersion(Query(), 0xFFFFFFFFu, 0, 0, 0xFFFFFFFFu);
}

TEST(OSVersionQuery, MalformedVersionsAreIgnoredWhole) {
    for (const char* bad :
         {"", "2.5.1", "2.5.1.2600.7", "2.5.1.2600x", " 2.5.1.2600", "2.5.1.-1", "-2.5.1.2600", "+2.5.1.2600",
          "2..1.2600", "2.5.1.4294967296", "a.b.c.d", "2.5.1.2600 "}) {
        CScopedEnv version("AIRVANE_OS_VERSION", bad);
        SCOPED_TRACE(bad);
        ExpectVersion(Query(), 0, 0, 0, 0);
    }
}

} // namespace
