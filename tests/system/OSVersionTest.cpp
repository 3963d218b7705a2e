#include "airvane/system/OSVersion.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

#if !defined(_WIN32)
using airvane::test::CScopedEnv;
using airvane::test::RunInChild;
#endif

constexpr std::uint32_t kWindows = 1;
constexpr std::uint32_t kNT = 2;

std::uint32_t Build(std::uint32_t major, std::uint32_t minor, std::uint32_t low) {
    return (major << 24) | (minor << 16) | low;
}

// One row per system; then the 95 and 98 builds, told apart by the low 16 bits only; the
// build rules applied to other rows (none); and unrecognised systems.
TEST(OSVersionLookup, VersionTableAndBuildRules) {
    const struct {
        std::uint32_t platform, major, minor, build;
        int index;
    } cases[] = {
        // clang-format off
        {kWindows, 4, 0, 950, 0}, {kWindows, 4, 10, 1998, 2}, {kNT, 4, 0, 1381, 4}, {kNT, 5, 0, 2195, 5},
        {kNT, 5, 1, 2600, 7}, {kWindows, 4, 90, 3000, 6}, {kNT, 5, 2, 3790, 8},
        {kWindows, 4, 0, Build(4, 0, 950), 0}, {kWindows, 4, 0, Build(4, 0, 1111), 1},
        {kWindows, 4, 0, Build(4, 0, 1212), 1}, {kWindows, 4, 0, 1111, 1}, {kWindows, 4, 0, Build(4, 0, 1112), 0},
        {kWindows, 4, 0, 1111u << 16, 0}, {kWindows, 4, 10, 2222, 3}, {kWindows, 4, 10, Build(4, 10, 2222), 3},
        {kWindows, 4, 10, 2223, 2}, {kWindows, 4, 10, 2222u << 16, 2},
        {kNT, 5, 1, 1111, 7}, {kWindows, 4, 90, 2222, 6}, {kNT, 4, 0, 1212, 4},
        {kNT, 6, 0, 6000, -1}, {0, 0, 0, 0, -1}, {3, 4, 0, 950, -1}, {kWindows, 5, 1, 2600, -1},
        {kNT, 4, 10, 1998, -1}, {kNT, 5, 3, 0, -1},
        // clang-format on
    };
    for (const auto& c : cases) {
        EXPECT_EQ(COSVersion::LookupOSIndex(c.platform, c.major, c.minor, c.build), c.index)
            << c.platform << " " << c.major << "." << c.minor << " build " << c.build;
    }
}

TEST(OSVersionLookup, CodeTable) {
    const char* expected[] = {"95", "95b", "98", "98SE", "NT40", "2000", "ME", "XP", "XP64"};
    for (int index = 0; index < 9; ++index) {
        EXPECT_STREQ(COSVersion::OSCodeForIndex(index), expected[index]);
    }
    for (const int outside : {-1, -2, 9}) {
        EXPECT_STREQ(COSVersion::OSCodeForIndex(outside), "") << outside;
    }
}

#if !defined(_WIN32)
// The system is emulated through the POSIX backend's AIRVANE_OS_VERSION; on Windows,
// OSVersionWineTest runs the same identification under Wine's version settings.
// The identification object is process-wide: each scenario runs in a fresh child, where it
// is identified once and kept even when the system's answer changes later. The 95 versions
// carry 4.0 in the high half of the build (950 and 1111 in the low half).
TEST(OSVersionInstance, IdentifiesTheEmulatedSystemOnceAndKeepsTheObject) {
    const struct {
        const char* version;
        const char* code;
    } cases[] = {
        {"2.5.1.2600", "XP"},     {"2.5.0.2195", "2000"},    {"2.5.2.3790", "XP64"}, {"2.4.0.1381", "NT40"},
        {"1.4.0.67109814", "95"}, {"1.4.0.67109975", "95b"}, {"1.4.10.1998", "98"},  {"1.4.10.2222", "98SE"},
        {"1.4.90.3000", "ME"},    {"2.6.0.6000", ""},        {"0.0.0.0", ""},        {"garbage", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RunInChild([&] {
                      CScopedEnv env("AIRVANE_OS_VERSION", c.version);
                      COSVersion& first = COSVersion::Instance();
                      EXPECT_EQ(first.GetOSCode(), c.code);
                      CScopedEnv other("AIRVANE_OS_VERSION", c.code[0] == 'X' ? "1.4.90.3000" : "2.5.1.2600");
                      EXPECT_EQ(&COSVersion::Instance(), &first);
                      EXPECT_EQ(first.GetOSCode(), c.code);
                      return 0;
                  }),
                  0)
            << c.version;
    }
}
#endif

} // namespace
