#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace airvane::test {

// A fresh temporary folder, removed with its contents when the object goes away.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // Path of an entry inside the folder.
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Sets (or, with a null value, unsets) an environment variable for the scope.
class CScopedEnv {
public:
    CScopedEnv(const char* name, const char* value);
    ~CScopedEnv();
    CScopedEnv(const CScopedEnv&) = delete;
    CScopedEnv& operator=(const CScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_oldValue; // none: the variable was not set
};

#if defined(_WIN32)
// A registry private to the scope: the current user's and the local machine's root keys of
// this process are redirected to two new keys under HKEY_CURRENT_USER\Software\AirvaneTests,
// deleted with their contents when the object goes away.
class CScopedRegistry {
public:
    CScopedRegistry();
    ~CScopedRegistry();
    CScopedRegistry(const CScopedRegistry&) = delete;
    CScopedRegistry& operator=(const CScopedRegistry&) = delete;

    // The full path, in the real registry, of what this process sees as
    // HKEY_CURRENT_USER\<subKey>: a program this one starts is not redirected, so it is given
    // this path to write where the scope reads.
    std::string UserPathForChildren(const std::string& subKey) const {
        return "HKEY_CURRENT_USER\\" + m_key + "\\User\\" + subKey;
    }

private:
    std::string m_key;
};
#else
// A registry store private to the scope: AIRVANE_REGISTRY names a new file in a
// temporary folder.
class CScopedRegistry {
public:
    CScopedRegistry();
    const std::string& Path() const { return m_file; }

private:
    CTempDir m_dir;
    std::string m_file;
    CScopedEnv m_env;
};
#endif

// Changes the current directory for the scope.
class CScopedCurrentDir {
public:
    explicit CScopedCurrentDir(const std::string& path);
    ~CScopedCurrentDir();
    CScopedCurrentDir(const CScopedCurrentDir&) = delete;
    CScopedCurrentDir& operator=(const CScopedCurrentDir&) = delete;

private:
    std::string m_old;
};

// Runs `body` in a child process (forked on POSIX, a death test on Windows) and returns the child's exit
// status (the value `body` returns), or -1 when the child did not exit normally (crash, signal). GoogleTest
// failures inside the child are reported on its standard error and turn into status 1.
int RunInChild(const std::function<int()>& body);

// Folder of the running test executable (where the test-double modules are built).
std::string ExecutableDir();

// A pointer as the test doubles write it in their logs: "null" or "0x..." in hex.
inline std::string PointerText(const void* pointer) {
    char text[32] = "null";
    if (pointer != nullptr) {
        std::snprintf(text, sizeof(text), "0x%llx",
                      static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pointer)));
    }
    return text;
}

// Writes `text` to a file; fails the test on error.
void WriteFile(const std::string& path, const std::string& text);
// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

} // namespace airvane::test
