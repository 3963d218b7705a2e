#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>

// Runs os_version_probe.exe under each version Wine can be set to report for one program
// (HKCU\Software\Wine\AppDefaults\<program>\Version) and checks the code the library finds.

namespace {

constexpr const char* kProbe = "os_version_probe.exe";
constexpr const char* kAppDefaults = "Software\\Wine\\AppDefaults\\os_version_probe.exe";

bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The probe's standard output, or "" when it could not be run.
std::string RunProbe() {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        return "";
    }
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    std::string commandLine = kProbe;
    const BOOL started = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          nullptr, &startup, &process);
    ::CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char buffer[256];
        DWORD got = 0;
        while (::ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
            output.append(buffer, got);
        }
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::CloseHandle(process.hProcess);
        ::CloseHandle(process.hThread);
    }
    ::CloseHandle(readEnd);
    return output;
}

TEST(OSVersionWine, IdentifiesTheSystemWineReports) {
    ASSERT_TRUE(RunningUnderWine()) << "this test sets the version through Wine's own settings";
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
            HKEY key = nullptr;
            ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kAppDefaults, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_ALL_ACCESS, nullptr, &key, nullptr),
                      ERROR_SUCCESS);
            ::RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(c.setting),
                             static_cast<DWORD>(std::char_traits<char>::length(c.setting) + 1));
            ::RegCloseKey(key);
        }
        std::string output = RunProbe();
        output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
        EXPECT_EQ(output, c.output);
    }
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kAppDefaults);
}

} // namespace
