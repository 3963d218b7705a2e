#include "airvane/platform/Module.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace pf = airvane::platform;
using airvane::test::CScopedCurrentDir;
using airvane::test::CTempDir;
using airvane::test::ExecutableDir;

constexpr const char* kProbeModule = "platform_probe.dll";
constexpr const char* kProbeExport = "PlatformProbeAnswer";
// A module the standard search finds in the system's folders, and one of its exports.
#if defined(_WIN32)
constexpr const char* kSystemModule = "kernel32.dll";
constexpr const char* kSystemExport = "GetTickCount";
#else
constexpr const char* kSystemModule = "libm.so.6";
constexpr const char* kSystemExport = "cos";
#endif

// The probe module's answer (4242), or -1 when the module or its export is missing.
int CallProbe(pf::ModuleHandle module) {
    void* symbol = pf::GetModuleExport(module, kProbeExport);
    return symbol != nullptr ? reinterpret_cast<int (*)()>(symbol)() : -1;
}

TEST(Module, BareNameIsFoundBesideTheExecutableOrBySearchAndAPathIsFromTheCurrentFolder) {
    CTempDir elsewhere;
    CScopedCurrentDir cwd(elsewhere.Path()); // the current folder plays no part
    pf::ModuleHandle byName = pf::LoadModule(kProbeModule);
    EXPECT_EQ(CallProbe(byName), 4242);
    // The current folder is not searched for a bare name.
    std::filesystem::copy_file(ExecutableDir() + "/" + kProbeModule, elsewhere.File("cwd_probe.dll"));
    EXPECT_EQ(pf::LoadModule("cwd_probe.dll"), nullptr);
    EXPECT_EQ(pf::LoadModule((ExecutableDir() + "/" + kProbeModule).c_str()), byName);
    pf::ModuleHandle system = pf::LoadModule(kSystemModule);
    ASSERT_NE(system, nullptr);
    EXPECT_NE(pf::GetModuleExport(system, kSystemExport), nullptr);
    // A name with a slash is a path from the current folder.
    const std::string relative = std::string("./") + kProbeModule;
    EXPECT_EQ(pf::LoadModule(relative.c_str()), nullptr);
    CScopedCurrentDir home(ExecutableDir());
    EXPECT_EQ(CallProbe(pf::LoadModule(relative.c_str())), 4242);
}

TEST(Module, FailedLoadIsRetriedAndBadArgumentsGiveNull) {
    EXPECT_EQ(pf::LoadModule("platform_probe_missing.dll"), nullptr);
    // The file's name, then the system's reason.
    const std::string error = pf::LastModuleLoadError();
    EXPECT_EQ(error.rfind("platform_probe_missing.dll: ", 0), 0u) << error;
    EXPECT_GT(error.size(), std::string("platform_probe_missing.dll: ").size()) << error;
    EXPECT_EQ(pf::LoadModule((std::string(kProbeModule) + ".").c_str()), nullptr);
    CTempDir dir;
    const std::string late = dir.File("late_probe.dll");
    EXPECT_EQ(pf::LoadModule(late.c_str()), nullptr);
    std::filesystem::copy_file(ExecutableDir() + "/" + kProbeModule, late);
    pf::ModuleHandle module = pf::LoadModule(late.c_str());
    EXPECT_EQ(CallProbe(module), 4242);
    EXPECT_STREQ(pf::LastModuleLoadError(), "");
    // The name is used as given: no extension is added to a name without one, and a file
    // without one loads.
    EXPECT_EQ(pf::LoadModule(dir.File("late_probe").c_str()), nullptr);
    std::filesystem::copy_file(late, dir.File("bare_probe"));
    EXPECT_EQ(CallProbe(pf::LoadModule(dir.File("bare_probe").c_str())), 4242);
    EXPECT_EQ(pf::LoadModule(nullptr), nullptr);
    EXPECT_EQ(pf::LoadModule(""), nullptr);
    EXPECT_EQ(pf::GetModuleExport(module, "NoSuchExport"), nullptr);
    // Only the module's own exports: not those of the C library it depends on.
    EXPECT_EQ(pf::GetModuleExport(module, "malloc"), nullptr);
    EXPECT_EQ(pf::GetModuleExport(module, nullptr), nullptr);
    EXPECT_EQ(pf::GetModuleExport(nullptr, kProbeExport), nullptr);
}

} // namespace
