// The system registry, run by the cases of cases/registry-win32.txt.
#include "tests/platform/RegistryStoreAccess.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace airvane::test;

TEST(RegistryWin32, KeysAndValuesFollowTheCases) {
    for (const stCase& c : ReadCases(AIRVANE_PLATFORM_CASES "/registry-win32.txt")) {
        SCOPED_TRACE(c.name);
        CScopedRegistry registry;
        CRegistryCalls calls;
        RunSteps(c, [&calls](const std::vector<std::string>& words) {
            return calls.Call(words).value_or("unknown step");
        });
    }
}

} // namespace
