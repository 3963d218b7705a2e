// The POSIX registry store, run by the scripts of cases/registry.txt.
#include "tests/platform/RegistryStoreAccess.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace airvane::test;

constexpr uid_t kNobody = 65534;

// The steps that set the scene around the store, on top of the registry calls.
class CRegistryScript {
public:
    CRegistryScript(std::string store, std::string dir) : m_store(std::move(store)), m_dir(std::move(dir)) {}
    ~CRegistryScript() {
        while (!m_environment.empty()) { // restored in reverse order
            m_environment.pop_back();
        }
    }

    std::string Step(std::vector<std::string> w) {
        for (std::string& word : w) {
            word = word.rfind("{dir}", 0) == 0 ? m_dir + word.substr(5) : word == "{store}" ? m_store : word;
        }
        const std::string& c = w[0];
        const auto rest = [&w](std::size_t from) {
            std::string text;
            for (std::size_t i = from; i < w.size(); ++i) {
                text += (i > from ? " " : "") + w[i];
            }
            return text;
        };
        if (c == "env") {
            const char* value = w[2] == "-" ? nullptr : w[2] == "\"\"" ? "" : w[2].c_str();
            m_environment.push_back(std::make_unique<CScopedEnv>(w[1].c_str(), value));
        } else if (c == "umask") { // only in a child case: the mask is not restored
            ::umask(static_cast<mode_t>(std::strtoul(w[1].c_str(), nullptr, 8)));
        } else if (c == "mkdir" || c == "file" || c == "chmod") {
            c == "mkdir"  ? (void)::mkdir(w[1].c_str(), 0700)
            : c == "file" ? WriteFile(w[1], rest(3))
                          : void();
            ::chmod(w[1].c_str(), static_cast<mode_t>(std::strtoul(w.at(2).c_str(), nullptr, 8)));
        } else if (c == "link") {
            (void)!::symlink(w[1].c_str(), w[2].c_str());
        } else if (c == "give") { // hands paths to the unprivileged user (as root)
            for (std::size_t i = 1; i < w.size() && ::geteuid() == 0; ++i) {
                EXPECT_EQ(::chown(w[i].c_str(), kNobody, kNobody), 0) << w[i];
            }
        } else if (c == "drop") { // gives up root, so that file permissions apply
            EXPECT_TRUE(::geteuid() != 0 ||
                        (::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0));
        } else if (c == "mode") {
            char octal[8];
            struct stat info;
            const bool found = ::lstat(w[1].c_str(), &info) == 0;
            std::snprintf(octal, sizeof octal, "%o",
                          found ? static_cast<unsigned>(info.st_mode & 07777) : 0u);
            return !found ? "none" : S_ISLNK(info.st_mode) ? "link" : octal;
        } else if (c == "snapshot" || c == "unchanged") {
            const std::string bytes = ReadFile(w[1]);
            m_snapshot = c == "snapshot" ? bytes : m_snapshot;
            return c == "snapshot" ? "" : bytes == m_snapshot ? "yes" : "no";
        } else if (c == "ls" || c == "rows" || c == "sql") {
            std::set<std::string> names;
            std::error_code ignored;
            for (const auto& entry : std::filesystem::directory_iterator(w[1], ignored)) {
                names.insert(entry.path().filename().string());
            }
            std::string listed;
            for (const std::string& row : c != "ls" ? InspectStore(w[1], rest(2).c_str(), c == "sql")
                                                    : std::vector<std::string>(names.begin(), names.end())) {
                listed += "|" + row;
            }
            return listed;
        } else {
            return m_calls.Call(w).value_or("unknown step");
        }
        return std::string();
    }

private:
    std::string m_store;
    std::string m_dir;
    std::string m_snapshot; // the file content at the last snapshot
    CRegistryCalls m_calls;
    std::vector<std::unique_ptr<CScopedEnv>> m_environment;
};

TEST(RegistryBackend, KeysAndValuesFollowTheScripts) {
    for (const stCase& c : ReadCases(AIRVANE_PLATFORM_CASES "/registry.txt")) {
        if (c.Get("needs") == "root" && ::geteuid() != 0) {
            continue;
        }
        SCOPED_TRACE(c.name);
        CScopedRegistry registry;
        CTempDir dir;
        const auto run = [&] {
            CRegistryScript script(registry.Path(), dir.Path());
            RunSteps(c, [&script](const std::vector<std::string>& words) { return script.Step(words); });
            return 0;
        };
        EXPECT_EQ(c.Get("in") == "child" ? RunInChild(run) : run(), 0);
    }
}

// A relative store name is a file in the current folder, whatever SQLite would otherwise make of
// it (":memory:" names a database that vanishes with its connection, "file:" starts a URI).
TEST(RegistryBackend, RelativeStoreNamesAreFilesInTheCurrentFolder) {
    for (const char* name : {"file:registry.db", ":memory:"}) {
        SCOPED_TRACE(name);
        CTempDir dir;
        EXPECT_EQ(RunInChild([&] {
                      CScopedCurrentDir current(dir.Path());
                      CScopedEnv store("AIRVANE_REGISTRY", name);
                      CRegistryCalls calls;
                      EXPECT_EQ(*calls.Call({"store", "0x80000001", "K", "V", "3", "6b6570"}), "Success");
                      EXPECT_EQ(*calls.Call({"load", "0x80000001", "K", "V"}), "Success type=3 bytes=6b6570");
                      return 0;
                  }),
                  0);
        EXPECT_EQ(InspectStore(dir.File(name), "SELECT name FROM reg_key WHERE name <> ''"),
                  std::vector<std::string>{"K"});
    }
}

// Two threads setting and reading through one handle: each request is a transaction of its own,
// never one nested in the other thread's.
TEST(RegistryBackend, OneHandleServesSeveralThreadsAtOnce) {
    namespace pf = airvane::platform;
    CScopedRegistry registry;
    pf::RegKeyHandle key = nullptr;
    ASSERT_EQ(pf::RegistryCreateKey(0x80000001u, "Shared", key), pf::RegResult::Success);
    const auto work = [key](char letter) {
        const std::string name(1, letter);
        int failures = 0;
        for (int i = 0; i < 200; ++i) {
            const char value[] = {letter, static_cast<char>('0' + i % 10)};
            std::uint32_t size = 0;
            failures += pf::RegistrySetValue(key, name.c_str(), 3, value, 2) != pf::RegResult::Success;
            failures +=
                pf::RegistryQueryValue(key, name.c_str(), nullptr, nullptr, size) != pf::RegResult::Success;
        }
        return failures;
    };
    int failuresA = -1;
    std::thread other([&] { failuresA = work('A'); });
    const int failuresB = work('B');
    other.join();
    pf::RegistryCloseKey(key);
    EXPECT_EQ(failuresA, 0);
    EXPECT_EQ(failuresB, 0);
}

} // namespace
