#include "airvane/platform/internal/OSVersionQuery.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

namespace pf = airvane::platform;
using airvane::test::CScopedEnv;

// The version reported with AIRVANE_OS_VERSION set to `value` (null: unset), as "p.M.m.b".
std::string Query(const char* value) {
    CScopedEnv version("AIRVANE_OS_VERSION", value);
    pf::stOSVersionInfo info{77, 77, 77, 77};
    EXPECT_TRUE(pf::QueryOSVersion(info));
    return std::to_string(info.platformId) + "." + std::to_string(info.majorVersion) + "." +
           std::to_string(info.minorVersion) + "." + std::to_string(info.buildNumber);
}

TEST(OSVersionQuery, EnvironmentGivesTheVersionAndLinuxIsNoRecognisedPlatform) {
    EXPECT_EQ(Query(nullptr), "0.0.0.0");
    EXPECT_EQ(Query("2.5.1.2600"), "2.5.1.2600");
    EXPECT_EQ(Query("1.4.0.67109814"), "1.4.0." + std::to_string((4u << 24) | 950u)); // 4.0 high, 950 low
    EXPECT_EQ(Query("4294967295.0.0.4294967295"), "4294967295.0.0.4294967295");
    // Malformed versions are ignored whole.
    for (const char* bad :
         {"", "2.5.1", "2.5.1.2600.7", "2.5.1.2600x", " 2.5.1.2600", "2.5.1.-1", "-2.5.1.2600", "+2.5.1.2600",
          "2..1.2600", "2.5.1.4294967296", "a.b.c.d", "2.5.1.2600 "}) {
        EXPECT_EQ(Query(bad), "0.0.0.0") << bad;
    }
}

} // namespace
