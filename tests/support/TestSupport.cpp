#include "tests/support/TestSupport.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace airvane::test {

#if defined(_WIN32)
namespace {

int SetEnv(const char* name, const char* value) {
    return ::_putenv_s(name, value);
}

int UnsetEnv(const char* name) {
    return ::_putenv_s(name, "");
}

} // namespace

CTempDir::CTempDir() {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "airvane-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                 std::to_string(::GetTickCount()) + "-" + std::to_string(counter++);
        std::error_code error;
        if (std::filesystem::create_directory(base / name, error)) {
            m_path = (base / name).generic_string();
            return;
        }
    }
    ADD_FAILURE() << "cannot make a temporary folder";
}
#else
namespace {

int SetEnv(const char* name, const char* value) {
    return ::setenv(name, value, 1);
}

int UnsetEnv(const char* name) {
    return ::unsetenv(name);
}

} // namespace

CTempDir::CTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "airvane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
    }
    m_path = pattern;
}
#endif

CTempDir::~CTempDir() {
    std::error_code ignored;
    // Give back write permission first so that read-only folders made by a test go too.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

CScopedEnv::CScopedEnv(const char* name, const char* value) : m_name(name), m_hadValue(false) {
    if (const char* old = std::getenv(name)) {
        m_hadValue = true;
        m_oldValue = old;
    }
    if (value != nullptr) {
        SetEnv(name, value);
    } else {
        UnsetEnv(name);
    }
}

CScopedEnv::~CScopedEnv() {
    if (m_hadValue) {
        SetEnv(m_name.c_str(), m_oldValue.c_str());
    } else {
        UnsetEnv(m_name.c_str());
    }
}

#if defined(_WIN32)
namespace {

constexpr const char* kScratchRoot = "Software\\AirvaneTests\\";

// Redirects a predefined root key of this process to a new subkey of the scratch key.
void Redirect(HKEY root, const std::string& key) {
    HKEY target = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                          nullptr, &target, nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot create " << key;
        return;
    }
    if (::RegOverridePredefKey(root, target) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot redirect a root key to " << key;
    }
    ::RegCloseKey(target);
}

} // namespace

CScopedRegistry::CScopedRegistry() {
    static std::atomic<unsigned> counter{0};
    m_key =
        std::string(kScratchRoot) + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, m_key.c_str()); // left over by a process that died
    Redirect(HKEY_LOCAL_MACHINE, m_key + "\\Machine");
    Redirect(HKEY_CURRENT_USER, m_key + "\\User");
}

CScopedRegistry::~CScopedRegistry() {
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, m_key.c_str());
}
#else
CScopedRegistry::CScopedRegistry()
    : m_file(m_dir.File("registry.db")), m_env("AIRVANE_REGISTRY", m_file.c_str()) {}
#endif

CScopedCurrentDir::CScopedCurrentDir(const std::string& path) {
    m_old = std::filesystem::current_path().string();
    std::filesystem::current_path(path);
}

CScopedCurrentDir::~CScopedCurrentDir() {
    std::error_code ignored;
    std::filesystem::current_path(m_old, ignored);
}

#if defined(_WIN32)
// Windows has no fork: a death test starts the test executable again, runs the test up to
// this point and then `body`. Failures are counted from `body` alone, since the re-run test
// may already have failed expectations that belong to earlier children.
int RunInChild(const std::function<int()>& body) {
    int status = -1;
    EXPECT_EXIT(
        {
            ::testing::TestPartResultArray results;
            int code = 0;
            {
                ::testing::ScopedFakeTestPartResultReporter reporter(
                    ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &results);
                code = body();
            }
            for (int i = 0; i < results.size(); ++i) {
                const ::testing::TestPartResult& result = results.GetTestPartResult(i);
                std::fprintf(stderr, "%s:%d: %s\n", result.file_name() != nullptr ? result.file_name() : "?",
                             result.line_number(), result.message());
                if (result.failed() && code == 0) {
                    code = 1;
                }
            }
            std::fflush(nullptr);
            std::_Exit(code);
        },
        [&status](int code) {
            status = code;
            return true;
        },
        "");
    return status;
}

std::string ExecutableDir() {
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof(path));
    if (length == 0 || length >= sizeof(path)) {
        return ".";
    }
    return std::filesystem::path(std::string(path, length)).parent_path().generic_string();
}
#else
int RunInChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ADD_FAILURE() << "fork failed";
        return -1;
    }
    if (pid == 0) {
        int status = body();
        if (::testing::Test::HasFailure() && status == 0) {
            status = 1;
        }
        std::fflush(nullptr);
        ::_exit(status);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ExecutableDir() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) {
        return ".";
    }
    return std::filesystem::path(std::string(path, static_cast<std::size_t>(length))).parent_path().string();
}

#endif

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace airvane::test
