// Runs from a folder without the supplicant stub and key-renewal doubles: a failed load is
// not remembered, so once the double is copied beside the executable the next call loads it.

#include "airvane/security/WEPPlusSecureMethod.h"
#include "airvane/security/WEPPlusSecureMethodState.h"
#include "airvane/security/WPAPSKSecureMethod.h"

#include "FakeWepPlusAdapter.h"
#include "SecurityTestHelpers.h"
#include "tests/modules/wepplus/WepPlusDouble.h"
#include "tests/modules/wpa_stub/WpaStubDouble.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using airvane::test::ModuleExport;

// Removes the module copied beside the executable when the scope ends. Windows lets no process
// delete a module it has loaded, so the copy an earlier run loaded is still there: it goes first.
struct stModuleBeside {
    const std::string path;
    mutable std::error_code ignored;
    explicit stModuleBeside(const char* name) : path(airvane::test::ExecutableDir() + "/" + name) {
        Remove();
    }
    ~stModuleBeside() { Remove(); }
    void Remove() const { fs::remove(path, ignored); }
    bool CopyFrom(const char* source) const {
        return fs::copy_file(source, path, fs::copy_options::overwrite_existing, ignored);
    }
};

TEST(MissingModules, SupplicantStubLoadIsRetriedAfterAFailure) {
    const stModuleBeside module(wpa_stub_double::kModuleName);
    ASSERT_FALSE(fs::exists(module.path)) << "the double must not be present yet";
    CWLANWPAPSKSecureMethod method;
    ASSERT_EQ(1, method.SetPassword("phrase"));
    EXPECT_EQ(0, method.WPALoadContext(CWLANState(), "Net", nullptr));
    EXPECT_EQ(0, method.WPALoadContext(CWLANState(), "Net", nullptr));
    EXPECT_EQ(nullptr, method.BuildSecureMethodState());

    ASSERT_TRUE(module.CopyFrom(AIRVANE_WPA_STUB_DOUBLE));
    EXPECT_EQ(1, method.WPALoadContext(CWLANState(), "Net", nullptr));
    const auto lastBlock =
        ModuleExport<wpa_stub_double::LastBlockFn>(wpa_stub_double::kModuleName, wpa_stub_double::kLastBlock);
    ASSERT_NE(nullptr, lastBlock);
    EXPECT_NE(nullptr, std::strstr(lastBlock(), "psk=\"phrase\""));
}

TEST(MissingModules, KeyRenewalModuleLoadIsRetriedAfterAFailure) {
    const stModuleBeside module(wepplus_double::kModuleName);
    ASSERT_FALSE(fs::exists(module.path)) << "the double must not be present yet";
    airvane::test::CFakeWepPlusAdapter adapter;
    adapter.indicator = {{1, 0, 0, 0}};
    CWLANWEPPlusSecureMethod method;
    method.CheckWepPlus(&adapter);
    EXPECT_EQ(1, adapter.indicatorCalls); // the indicator is still queried
    const auto wepPlusState = &CWLANWEPPlusSecureMethodState::GetWepPlusState;
    EXPECT_EQ(CWLANWEPPlusSecureMethodState::WEPPLUS_NOT_KEYED, airvane::test::StateOf(method, wepPlusState));

    ASSERT_TRUE(module.CopyFrom(AIRVANE_WEPPLUS_DOUBLE));
    using namespace wepplus_double;
    const auto setResult = ModuleExport<SetResultFn>(kModuleName, kSetResult);
    const auto callCount = ModuleExport<CallCountFn>(kModuleName, kCallCount);
    ASSERT_TRUE(setResult && callCount);
    setResult(1);
    method.CheckWepPlus(&adapter);
    EXPECT_EQ(1, callCount());
    EXPECT_EQ(CWLANWEPPlusSecureMethodState::WEPPLUS_KEYED, airvane::test::StateOf(method, wepPlusState));
}

} // namespace
