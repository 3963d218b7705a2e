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
constexpr int kProbeAnswer = 4242;

using ProbeFunction = int (*)();

int CallProbe(pf::ModuleHandle module) {
    void* symbol = pf::GetModuleExport(module, kProbeExport);
    if (symbol == nullptr) {
        return -1;
    }
    return reinterpret_cast<ProbeFunction>(symbol)();
}

TEST(Module, BareNameIsFoundBesideTheExecutable) {
    // The current folder plays no part in finding a bare name.
    CTempDir elsewhere;
    CScopedCurrentDir cwd(elsewhere.Path());
    pf::ModuleHandle byName = pf::LoadModule(kProbeModule);
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(CallProbe(byName), kProbeAnswer);
    // It is the very module beside the executable.
    pf::ModuleHandle byPath = pf::LoadModule((ExecutableDir() + "/" + kProbeModule).c_str());
    EXPECT_EQ(byPath, byName);
}

TEST(Module, BareNameFallsBackToTheStandardSearch) {
    pf::ModuleHandle math = pf::LoadModule("libm.so.6");
    ASSERT_NE(math, nullptr);
    EXPECT_NE(pf::GetModuleExport(math, "cos"), nullptr);
}

TEST(Module, NameWithSlashIsAPath) {
    // A relative path is taken from the current folder, never from the executable's folder.
    // (Checked first: once loaded, the loader hands back the module for the same name.)
    const std::string relative = std::string("./") + kProbeModule;
    {
        CTempDir elsewhere;
        CScopedCurrentDir cwd(elsewhere.Path());
        EXPECT_EQ(pf::LoadModule(relative.c_str()), nullptr);
    }
    CScopedCurrentDir cwd(ExecutableDir());
    pf::ModuleHandle module = pf::LoadModule(relative.c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(CallProbe(module), kProbeAnswer);
}

TEST(Module, FailedLoadIsRetried) {
    EXPECT_EQ(pf::LoadModule("platform_probe_missing.dll"), nullptr);
    CTempDir dir;
    const std::string late = dir.File("late_probe.dll");
    EXPECT_EQ(pf::LoadModule(late.c_str()), nullptr);
    std::filesystem::copy_file(ExecutableDir() + "/" + kProbeModule, late);
    pf::ModuleHandle module = pf::LoadModule(late.c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(CallProbe(module), kProbeAnswer);
}

TEST(Module, BadArgumentsGiveNull) {
    EXPECT_EQ(pf::LoadModule(nullptr), nullptr);
    EXPECT_EQ(pf::LoadModule(""), nullptr);
    pf::ModuleHandle module = pf::LoadModule(kProbeModule);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(pf::GetModuleExport(module, "NoSuchExport"), nullptr);
    EXPECT_EQ(pf::GetModuleExport(module, nullptr), nullptr);
    EXPECT_EQ(pf::GetModuleExport(nullptr, kProbeExport), nullptr);
}

} // namespace
