// System identification, run by the cases of cases/os-version.txt.
#include "airvane/system/OSVersion.h"
#include "airvane/platform/internal/OSVersionQuery.h"

#include "tests/support/CaseFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace airvane::test;

std::string Step(const std::vector<std::string>& w) {
    const auto number = [&w](std::size_t i) { return static_cast<std::uint32_t>(std::stoul(w.at(i))); };
    if (w[0] == "lookup") {
        const int index = COSVersion::LookupOSIndex(number(1), number(2), number(3), number(4));
        return std::to_string(index) + " [" + COSVersion::OSCodeForIndex(index) + "]";
    }
    if (w[0] == "code") {
        return std::string("[") + COSVersion::OSCodeForIndex(std::stoi(w.at(1))) + "]";
    }
#if !defined(_WIN32)
    if (w[0] == "query") {
        CScopedEnv version("AIRVANE_OS_VERSION",
                           w.size() > 1 ? (w[1] == "\"\"" ? "" : w[1].c_str()) : nullptr);
        airvane::platform::stOSVersionInfo info{77, 77, 77, 77};
        EXPECT_TRUE(airvane::platform::QueryOSVersion(info));
        return std::to_string(info.platformId) + "." + std::to_string(info.majorVersion) + "." +
               std::to_string(info.minorVersion) + "." + std::to_string(info.buildNumber);
    }
    // The identification object is process-wide: each one starts in a fresh child.
    CTempDir dir;
    RunInChild([&] {
        CScopedEnv env("AIRVANE_OS_VERSION", w.at(1).c_str());
        COSVersion& first = COSVersion::Instance();
        const std::string code = first.GetOSCode();
        CScopedEnv other("AIRVANE_OS_VERSION", code[0] == 'X' ? "1.4.90.3000" : "2.5.1.2600");
        const bool kept = &COSVersion::Instance() == &first && first.GetOSCode() == code;
        WriteFile(dir.File("code"), kept ? "[" + code + "]" : "changed");
        return 0;
    });
    return ReadFile(dir.File("code"));
#else
    return "unknown step"; // Wine's system is OSVersionWineTest's
#endif
}

TEST(OSVersion, IdentificationFollowsTheCases) {
    for (const stCase& c : ReadCases(AIRVANE_SYSTEM_CASES "/os-version.txt")) {
#if defined(_WIN32)
        if (c.Get("do").rfind("lookup", 0) != 0) {
            continue;
        }
#endif
        SCOPED_TRACE(c.name);
        RunSteps(c, Step);
    }
}

} // namespace
