// Runs os_version_probe.exe (from the test folder, the working folder of the tests) under each
// version Wine can be set to report for one program (HKCU\Software\Wine\AppDefaults\<program>\Version)
// and checks the code the library finds.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr const char* kAppDefaults = "Software\\Wine\\AppDefaults\\os_version_probe.exe";

TEST(OSVersionWine, IdentifiesTheSystemWineReports) {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    ASSERT_TRUE(ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr)
        << "this test sets the version through Wine's own settings";
    const struct {
        const char* setting; // null: Wine's default (Windows 7, not in the table)
        const char* output;
    } cases[] = {
        {"winxp", "2.5.1.2600 [XP]\n"},
        {"win2k", "2.5.0.2195 [2000]\n"},
        {"winxp64", "2.5.2.3790 [XP64]\n"},
        {nullptr, "2.6.1.7601 []\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting != nullptr ? c.setting : "default");
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kAppDefaults);
        if (c.setting != nullptr) {
            ASSERT_EQ(::RegSetKeyValueA(HKEY_CURRENT_USER, kAppDefaults, "Version", REG_SZ, c.setting,
                                        static_cast<DWORD>(std::char_traits<char>::length(c.setting) + 1)),
                      ERROR_SUCCESS);
        }
        std::string output;
        FILE* probe = ::_popen("os_version_probe.exe", "r"); // text mode: line ends come back as "\n"
        ASSERT_NE(probe, nullptr);
        for (int ch = std::fgetc(probe); ch != EOF; ch = std::fgetc(probe)) {
            output += static_cast<char>(ch);
        }
        EXPECT_EQ(::_pclose(probe), 0);
        EXPECT_EQ(output, c.output);
    }
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kAppDefaults);
}

} // namespace
