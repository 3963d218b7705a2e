// The registry value functions, run by the cases of cases/registry.txt.
#include "tests/platform/RegistryStoreAccess.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(Registry, ValueFunctionsFollowTheCases) {
    for (const airvane::test::stCase& c : airvane::test::ReadCases(AIRVANE_SYSTEM_CASES "/registry.txt")) {
        SCOPED_TRACE(c.name);
        airvane::test::CScopedRegistry registry;
        airvane::test::CRegistryCalls calls;
        airvane::test::RunSteps(c, [&calls](const std::vector<std::string>& words) {
            return calls.Call(words).value_or("unknown step");
        });
    }
}

} // namespace
