#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace airvane::test {

CTempDir::CTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "airvane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
    }
    m_path = pattern;
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

CScopedEnv::CScopedEnv(const char* name, const char* value) : m_name(name), m_hadValue(false) {
    if (const char* old = std::getenv(name)) {
        m_hadValue = true;
        m_oldValue = old;
    }
    if (value != nullptr) {
        ::setenv(name, value, 1);
    } else {
        ::unsetenv(name);
    }
}

CScopedEnv::~CScopedEnv() {
    if (m_hadValue) {
        ::setenv(m_name.c_str(), m_oldValue.c_str(), 1);
    } else {
        ::unsetenv(m_name.c_str());
    }
}

CScopedRegistry::CScopedRegistry()
    : m_file(m_dir.File("registry.db")), m_env("AIRVANE_REGISTRY", m_file.c_str()) {}

CScopedCurrentDir::CScopedCurrentDir(const std::string& path) {
    m_old = std::filesystem::current_path().string();
    std::filesystem::current_path(path);
}

CScopedCurrentDir::~CScopedCurrentDir() {
    std::error_code ignored;
    std::filesystem::current_path(m_old, ignored);
}

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
