#include "airvane/platform/RegistryBackend.h"

#include "airvane/system/Registry.h"
#include "tests/platform/RegistryStoreAccess.h"
#include "tests/support/CaseFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

namespace pf = airvane::platform;
using namespace airvane::test;
using Names = std::vector<std::string>;

constexpr pf::RegResult kSuccess = pf::RegResult::Success;
constexpr pf::RegResult kNotFound = pf::RegResult::NotFound;
constexpr pf::RegResult kFailure = pf::RegResult::Failure;
constexpr std::uint32_t kUser = pf::kHKeyCurrentUser;

// Opens (or, with `create`, creates) a key and closes it again; the handle is set exactly on success.
pf::RegResult Open(std::uint32_t root, const std::string& subKey, bool forWrite = false,
                   bool create = false) {
    int placeholder = 0; // the handle must be set to null on failure
    auto key = reinterpret_cast<pf::RegKeyHandle>(&placeholder);
    const pf::RegResult result = create ? pf::RegistryCreateKey(root, subKey.c_str(), key)
                                        : pf::RegistryOpenKey(root, subKey.c_str(), forWrite, key);
    EXPECT_EQ(result == kSuccess, key != nullptr && key != reinterpret_cast<pf::RegKeyHandle>(&placeholder));
    if (result == kSuccess) {
        pf::RegistryCloseKey(key);
    }
    return result;
}

pf::RegResult Create(std::uint32_t root, const std::string& subKey) {
    return Open(root, subKey, true, true);
}

std::set<std::string> FolderEntries(const std::string& folder) {
    std::set<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Permission bits of a path, or -1 when it does not exist.
int ModeOf(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

// In a forked child: gives up root (when running as root) so that file permissions
// apply, handing `paths` to the unprivileged user first. True on success.
bool DropPrivileges(const std::vector<std::string>& paths) {
    if (::geteuid() != 0) {
        return true;
    }
    constexpr uid_t kNobody = 65534;
    for (const std::string& path : paths) {
        if (::chown(path.c_str(), kNobody, kNobody) != 0) {
            return false;
        }
    }
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

std::string Octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%o", mode);
    return text;
}

// One step of a script of cases/registry.txt, which describes them.
class CRegistryScript {
public:
    ~CRegistryScript() {
        pf::RegistryCloseKey(m_key);
        if (m_umask >= 0) {
            ::umask(static_cast<mode_t>(m_umask));
        }
        while (!m_environment.empty()) { // restored in reverse order
            m_environment.pop_back();
        }
    }

    std::string Step(std::vector<std::string> w, const std::string& store, const std::string& dir) {
        for (std::string& word : w) {
            word = word.rfind("{dir}", 0) == 0 ? dir + word.substr(5) : word;
        }
        const std::string& c = w[0];
        const auto word = [&w](std::size_t i) { return i < w.size() ? w[i] : std::string(); };
        const auto mode = [&](std::size_t i) {
            return static_cast<mode_t>(std::strtoul(word(i).c_str(), nullptr, 8));
        };
        const auto text = [&](std::size_t i) { return word(i) == "\"\"" ? std::string() : word(i); };
        const auto name = [&](std::size_t i) {
            return word(i) == "-" ? nullptr : m_names.emplace_back(text(i)).c_str();
        };
        const auto root = static_cast<std::uint32_t>(std::strtoul(word(1).c_str(), nullptr, 0));
        std::uint32_t type = 0;
        auto size =
            static_cast<std::uint32_t>(std::strtoul(word(c == "set-null" ? 3 : 2).c_str(), nullptr, 10));
        std::string buffer(32, '#');
        if (c == "env") {
            m_environment.push_back(std::make_unique<CScopedEnv>(w[1].c_str(), name(2)));
        } else if (c == "umask") {
            const mode_t old = ::umask(mode(1));
            m_umask = m_umask < 0 ? static_cast<int>(old) : m_umask;
        } else if (c == "mkdir" || c == "file") {
            c == "mkdir" ? (void)::mkdir(w[1].c_str(), 0700) : WriteFile(w[1], "");
            ::chmod(w[1].c_str(), mode(2));
        } else if (c == "link") {
            (void)!::symlink(w[1].c_str(), w[2].c_str());
        } else if (c == "mode") {
            struct stat info;
            return ::lstat(w[1].c_str(), &info) != 0 ? "none"
                   : S_ISLNK(info.st_mode)           ? "link"
                                                     : Octal(info.st_mode & 07777);
        }
        if (c == "env" || c == "umask" || c == "mkdir" || c == "file" || c == "link") {
            return std::string();
        }
        if (const std::optional<std::string> outcome = RegistryCall(w)) {
            return *outcome;
        }
        if (c == "create" || c == "open" || c == "open-write") {
            return ResultName(Open(root, text(2), c != "open", c == "create"));
        }
        if (c == "rows") {
            std::string sql;
            std::string rows;
            for (std::size_t i = 1; i < w.size(); ++i) {
                sql += w[i] + " ";
            }
            for (const std::string& row : InspectStore(store, sql.c_str())) {
                rows += "|" + row;
            }
            return rows;
        }
        if (c == "key") {
            return ResultName(pf::RegistryOpenKey(root, name(2), word(3) == "write", m_key));
        }
        if (c == "query-size" || c == "query") {
            const bool sized = c == "query-size";
            const pf::RegResult result = pf::RegistryQueryValue(m_key, name(1), sized ? &type : nullptr,
                                                                sized ? nullptr : buffer.data(), size);
            return ResultName(result) + " size=" + std::to_string(size) +
                   (sized ? " type=" + std::to_string(type) : " " + buffer);
        }
        if (c == "set" || c == "set-null") {
            const std::string bytes = BytesOf(word(3));
            return ResultName(
                pf::RegistrySetValue(m_key, name(1), std::stoul(word(2)), c == "set" ? bytes.data() : nullptr,
                                     c == "set" ? static_cast<std::uint32_t>(bytes.size()) : size));
        }
        EXPECT_TRUE(c == "close" || c == "key-null") << "unknown step " << c;
        pf::RegistryCloseKey(m_key);
        m_key = nullptr;
        return std::string();
    }

private:
    pf::RegKeyHandle m_key = nullptr;
    std::deque<std::string> m_names;
    std::vector<std::unique_ptr<CScopedEnv>> m_environment;
    int m_umask = -1; // the mask before the first umask step
};

TEST(RegistryBackend, KeysAndValuesFollowTheScripts) {
    for (const airvane::test::stCase& c : ReadCases(AIRVANE_PLATFORM_CASES "/registry.txt")) {
        SCOPED_TRACE(c.name);
        CScopedRegistry registry;
        CTempDir dir;
        CRegistryScript script;
        RunSteps(c, [&](const std::vector<std::string>& words) {
            return script.Step(words, registry.Path(), dir.Path());
        });
    }
}

TEST(RegistryBackendStore, FileThatIsNoStoreFailsEverythingAndStaysUnchanged) {
    std::mt19937 random(20240611);
    std::string garbage;
    for (int i = 0; i < 3 * 4096 + 17; ++i) {
        garbage.push_back(static_cast<char>(random() & 0xFF));
    }
    for (const std::string& content : {garbage, std::string("not a database\n"), std::string()}) {
        CScopedRegistry registry;
        if (content.empty()) { // a database of something else
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(registry.Path().c_str(), &db), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine');", nullptr,
                                   nullptr, nullptr),
                      SQLITE_OK);
            sqlite3_close(db);
        } else {
            WriteFile(registry.Path(), content);
        }
        const std::string before = ReadFile(registry.Path());
        const std::string folder = std::filesystem::path(registry.Path()).parent_path().string();
        const std::set<std::string> entries = FolderEntries(folder);
        EXPECT_EQ(Create(kUser, "K"), kFailure);
        EXPECT_EQ(Create(pf::kHKeyLocalMachine, ""), kFailure);
        EXPECT_EQ(Open(kUser, "K"), kFailure);
        EXPECT_EQ(Open(kUser, "K", true), kFailure);
        EXPECT_EQ(Open(kUser, ""), kFailure);
        EXPECT_EQ(StoreValue(kUser, "K", "V", pf::kRegBinary, "v"), kFailure);
        // So do the registry value functions built on the store.
        std::string text = "previous";
        unsigned char bytes[8] = {};
        std::uint32_t count = sizeof(bytes);
        EXPECT_EQ(RegistrySetString("HKEY_CURRENT_USER\\K", "V", "x"), 0);
        EXPECT_EQ(RegistrySetBinary("HKEY_CURRENT_USER\\K", "V", bytes, 1), 0);
        EXPECT_EQ(RegistryGetString("HKEY_CURRENT_USER\\K", "V", text), 0);
        EXPECT_EQ(RegistryGetBinary("HKEY_CURRENT_USER\\K", "V", bytes, count), 0);
        EXPECT_EQ(text, "previous");
        EXPECT_TRUE(ReadFile(registry.Path()) == before) << "store changed";
        EXPECT_EQ(FolderEntries(folder), entries);
    }
}

TEST(RegistryBackendStore, ReadOnlyFolderFailsCleanly) {
    CTempDir dir;
    const std::string folder = dir.File("ro");
    const std::string file = folder + "/registry.db";
    const std::string emptyFolder = dir.File("ro-empty");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(emptyFolder.c_str(), 0700), 0);
    {
        CScopedEnv store("AIRVANE_REGISTRY", file.c_str());
        ASSERT_EQ(StoreValue(kUser, "K", "V", pf::kRegBinary, "kept"), kSuccess);
    }
    const std::string before = ReadFile(file);
    const int status = RunInChild([&] {
        if (!DropPrivileges({dir.Path(), folder, file, emptyFolder}) || ::chmod(folder.c_str(), 0500) != 0 ||
            ::chmod(emptyFolder.c_str(), 0500) != 0) {
            ADD_FAILURE() << "cannot drop privileges";
            return 2;
        }
        {
            CScopedEnv store("AIRVANE_REGISTRY", file.c_str());
            // Reading still works; anything that has to write fails.
            EXPECT_EQ(LoadValue(kUser, "K", "V").bytes, "kept");
            EXPECT_EQ(StoreValue(kUser, "K", "V", pf::kRegBinary, "new"), kFailure);
            EXPECT_EQ(Create(kUser, "K\\New"), kFailure);
            EXPECT_EQ(LoadValue(kUser, "K", "V").bytes, "kept");
        }
        CScopedEnv store("AIRVANE_REGISTRY", (emptyFolder + "/registry.db").c_str());
        EXPECT_EQ(Create(kUser, "K"), kFailure);
        EXPECT_EQ(Open(kUser, "K"), kNotFound);
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(ReadFile(file) == before);
    EXPECT_EQ(FolderEntries(folder), std::set<std::string>{"registry.db"});
    EXPECT_TRUE(FolderEntries(emptyFolder).empty());
}

// A store file of another user cannot be tightened: it is refused.
TEST(RegistryBackendStore, FileOfAnotherUserIsRefused) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give the file away";
    }
    CTempDir dir;
    WriteFile(dir.File("foreign.db"), "");
    ASSERT_EQ(::chown(dir.File("foreign.db").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(dir.File("foreign.db").c_str(), 0644), 0);
    CScopedEnv store("AIRVANE_REGISTRY", dir.File("foreign.db").c_str());
    EXPECT_EQ(StoreValue(kUser, "K", "V", pf::kRegBinary, "key"), kFailure);
    EXPECT_EQ(Open(kUser, "K"), kFailure);
    EXPECT_EQ(ModeOf(dir.File("foreign.db")), 0644);
}

} // namespace
