// The registry setters first try to create the key and, when that is refused, open the
// existing key for setting a value. The POSIX store never refuses a create that an open
// would grant, so this executable stands in front of the backend's two key-opening calls:
// its own definitions take the library's calls (the executable exports them), count them,
// can refuse creation, and otherwise forward to the library's own functions.

#include "airvane/system/Registry.h"

#include "airvane/platform/RegistryBackend.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <utility>

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

constexpr const char* kKeyPath = "HKEY_CURRENT_USER\\Software\\Fallback";

TEST(RegistryFallback, CreatesTheKeyAndOpensOnlyWhenCreationIsRefused) {
    ASSERT_NE(Real<CreateFunction>(kRealCreate), nullptr);
    ASSERT_NE(Real<OpenFunction>(kRealOpen), nullptr);
    CScopedRegistry registry;
    ResetCounts(false);
    std::string text;
    EXPECT_EQ(RegistryGetString(kKeyPath, "V", text), 0);
    EXPECT_EQ(g_calls, Counts(0, 1)); // the library's calls reach this executable
    ResetCounts(false);
    ASSERT_EQ(RegistrySetString(kKeyPath, "V", "first"), 1);
    EXPECT_EQ(g_calls, Counts(1, 0));

    ResetCounts(true);
    EXPECT_EQ(RegistrySetString(kKeyPath, "V", "second"), 1);
    EXPECT_EQ(g_calls, Counts(1, 1));
    EXPECT_TRUE(g_lastOpenForWrite);
    const unsigned char data[3] = {1, 2, 3};
    EXPECT_EQ(RegistrySetBinary(kKeyPath, "B", data, 3), 1);
    EXPECT_EQ(g_calls, Counts(2, 2));

    ResetCounts(false);
    ASSERT_EQ(RegistryGetString(kKeyPath, "V", text), 1);
    EXPECT_EQ(text, "second");
    EXPECT_FALSE(g_lastOpenForWrite); // reads open for reading
    unsigned char out[3] = {};
    std::uint32_t count = sizeof(out);
    ASSERT_EQ(RegistryGetBinary(kKeyPath, "B", out, count), 1);
    EXPECT_EQ(out[2], 3);
}

TEST(RegistryFallback, BadArgumentsReachNeitherCallAndARefusedCreateOfAMissingKeyFails) {
    CScopedRegistry registry;
    ResetCounts(false);
    std::string text;
    unsigned char buffer[4] = {};
    std::uint32_t count = sizeof(buffer);
    // Paths without a separator, with an unknown root name, or none at all.
    const char* const badPaths[] = {"HKEY_CURRENT_USER", "hkey_current_user\\A", "HKEY_PERFORMANCE_DATA\\A",
                                    nullptr};
    for (const char* path : badPaths) {
        EXPECT_EQ(RegistrySetString(path, "V", "x"), 0);
        EXPECT_EQ(RegistrySetBinary(path, "V", buffer, 1), 0);
        EXPECT_EQ(RegistryGetString(path, "V", text), 0);
        EXPECT_EQ(RegistryGetBinary(path, "V", buffer, count), 0);
    }
    EXPECT_EQ(RegistrySetString(kKeyPath, "V", nullptr), 0);
    EXPECT_EQ(RegistrySetBinary(kKeyPath, "V", nullptr, 3), 0); // null data with a count
    EXPECT_EQ(g_calls, Counts(0, 0));
    EXPECT_TRUE(airvane::test::ReadFile(registry.Path()).empty());

    ASSERT_EQ(RegistrySetString("HKEY_CURRENT_USER\\Other", "V", "x"), 1);
    ResetCounts(true);
    EXPECT_EQ(RegistrySetString(kKeyPath, "V", "never"), 0);
    EXPECT_EQ(g_calls, Counts(1, 1));
    ResetCounts(false);
    EXPECT_EQ(RegistryGetString(kKeyPath, "V", text), 0); // the open did not create the key
}

} // namespace
