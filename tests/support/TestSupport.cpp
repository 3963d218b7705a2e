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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace airvane::test {

namespace {

// Sets an environment variable, or unsets it when `value` is null.
void PutEnv(const std::string& name, const char* value) {
#if defined(_WIN32)
    ::_putenv_s(name.c_str(), value != nullptr ? value : "");
#else
    if (value != nullptr) {
        ::setenv(name.c_str(), value, 1);
    } else {
        ::unsetenv(name.c_str());
    }
#endif
}

} // namespace

// Named from a random number and a per-process counter, so that forked children and parallel
// test processes never share a folder.
CTempDir::CTempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        const std::filesystem::path path =
            base / ("airvane-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
        std::error_code error;
        if (std::filesystem::create_directory(path, error)) {
            m_path = path.generic_string();
        }
    }
    EXPECT_FALSE(m_path.empty()) << "cannot make a temporary folder";
}

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

CScopedEnv::CScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) {
        m_oldValue = old;
    }
    PutEnv(m_name, value);
}

CScopedEnv::~CScopedEnv() {
    PutEnv(m_name, m_oldValue ? m_oldValue->c_str() : nullptr);
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
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? "." : path.parent_path().string();
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
