// The registry setters first try to create the key and, when that is refused, open the
// existing key for setting a value. The POSIX store never refuses a create that an open
// would grant, so this executable stands in front of the backend's two key-opening calls:
// its own definitions take the library's calls (the executable exports them), count them,
// can refuse creation, and otherwise forward to the library's own functions.

#include "airvane/platform/RegistryBackend.h"
#include "tests/platform/RegistryStoreAccess.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <utility>
#include <vector>

namespace {

namespace pf = airvane::platform;
using airvane::test::CScopedRegistry;

constexpr const char* kRealCreate = "_ZN7airvane8platform17RegistryCreateKeyEjPKcRPNS0_8stRegKeyE";
constexpr const char* kRealOpen = "_ZN7airvane8platform15RegistryOpenKeyEjPKcbRPNS0_8stRegKeyE";

using CreateFunction = pf::RegResult (*)(std::uint32_t, const char*, pf::RegKeyHandle&);
using OpenFunction = pf::RegResult (*)(std::uint32_t, const char*, bool, pf::RegKeyHandle&);

using Counts = std::pair<int, int>;
Counts g_calls; // create and open calls since the last reset
bool g_refuseCreate = false;
bool g_lastOpenForWrite = false;

template <typename Function> Function Real(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

void ResetCounts(bool refuseCreate) {
    g_calls = {};
    g_refuseCreate = refuseCreate;
    g_lastOpenForWrite = false;
}

} // namespace

namespace airvane::platform {

AIRVANE_API RegResult RegistryCreateKey(std::uint32_t root, const char* subKey, RegKeyHandle& key) {
    ++g_calls.first;
    if (g_refuseCreate) {
        key = nullptr;
        return RegResult::Failure;
    }
    static const CreateFunction real = Real<CreateFunction>(kRealCreate);
    return real != nullptr ? real(root, subKey, key) : RegResult::Failure;
}

AIRVANE_API RegResult RegistryOpenKey(std::uint32_t root, const char* subKey, bool forWrite,
                                      RegKeyHandle& key) {
    ++g_calls.second;
    g_lastOpenForWrite = forWrite;
    static const OpenFunction real = Real<OpenFunction>(kRealOpen);
    return real != nullptr ? real(root, subKey, forWrite, key) : RegResult::Failure;
}

} // namespace airvane::platform

namespace {

// The registry calls of RegistryStoreAccess.h, and: refuse yes|no (whether key creation is
// refused from now on), calls (the create and open calls since the last look, and whether the
// last open was for writing), store-size (bytes in the store file).
TEST(RegistryFallback, CreatesTheKeyAndOpensOnlyWhenCreationIsRefused) {
    ASSERT_NE(Real<CreateFunction>(kRealCreate), nullptr);
    ASSERT_NE(Real<OpenFunction>(kRealOpen), nullptr);
    for (const airvane::test::stCase& c : airvane::test::ReadCases(AIRVANE_SYSTEM_CASES "/fallback.txt")) {
        SCOPED_TRACE(c.name);
        CScopedRegistry registry;
        airvane::test::CRegistryCalls calls;
        ResetCounts(false);
        airvane::test::RunSteps(c, [&](const std::vector<std::string>& w) -> std::string {
            if (w[0] == "refuse") {
                g_refuseCreate = w.at(1) == "yes";
            } else if (w[0] == "calls") {
                std::string seen = "create=" + std::to_string(g_calls.first) +
                                   " open=" + std::to_string(g_calls.second) +
                                   (g_lastOpenForWrite ? " write" : " read");
                ResetCounts(g_refuseCreate);
                return seen;
            } else if (w[0] == "store-size") {
                return std::to_string(airvane::test::ReadFile(registry.Path()).size());
            } else {
                return calls.Call(w).value_or("unknown step");
            }
            return std::string();
        });
    }
}

} // namespace
