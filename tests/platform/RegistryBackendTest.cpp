#include "airvane/platform/RegistryBackend.h"

#include "airvane/system/Registry.h"
#include "tests/platform/RegistryStoreAccess.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
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
    pf::RegKeyHandle key = nullptr;
    const pf::RegResult result = create ? pf::RegistryCreateKey(root, subKey.c_str(), key)
                                        : pf::RegistryOpenKey(root, subKey.c_str(), forWrite, key);
    EXPECT_EQ(result == kSuccess, key != nullptr);
    pf::RegistryCloseKey(key);
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

TEST(RegistryBackendKeys, PathsFoldAsciiCaseAndFollowTheSeparatorRules) {
    CScopedRegistry registry;
    for (const std::string& path : {std::string("Software\\Vendor\\Product"),
                                    std::string("software\\VENDOR\\Sub"), std::string("Software\\Vendor"),
                                    std::string("\xC3\x84"), std::string("A\\B\\"), std::string(255, 'k')}) {
        ASSERT_EQ(Create(kUser, path), kSuccess) << path;
    }
    // Missing ancestors were made once, with the case of their first creation; the trailing
    // separator added no key.
    EXPECT_EQ(
        InspectStore(registry.Path(), "SELECT name FROM reg_key ORDER BY id"),
        (Names{"", "Software", "Vendor", "Product", "Sub", "\xC3\x84", "A", "B", std::string(255, 'k')}));
    // clang-format off
    const struct { std::string path; pf::RegResult result; } cases[] = {
        {"Software", kSuccess}, {"SOFTWARE\\vendor", kSuccess}, {"Software\\Vendor\\PRODUCT", kSuccess},
        {"A\\B", kSuccess}, {"Software\\Other", kNotFound}, {"Software\\Vendor\\Product\\Deeper", kNotFound},
        {"\xC3\xA4", kNotFound}, // only ASCII letters fold
        {"\\A", kFailure}, {"A\\\\B", kFailure}, {"\\", kFailure}, {"A\\\\", kFailure}, {"\\\\", kFailure},
        {std::string(256, 'k'), kFailure}};
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(Open(kUser, c.path), c.result) << c.path;
        EXPECT_EQ(Open(kUser, c.path, true), c.result) << c.path;
        if (c.result == kFailure) {
            EXPECT_EQ(Create(kUser, c.path), kFailure) << c.path;
        }
    }
}

TEST(RegistryBackendKeys, EachPredefinedRootIsASeparateTreeWithARootKey) {
    CScopedRegistry registry;
    ASSERT_EQ(Create(kUser, "A"), kSuccess);
    // The root key of an untouched tree opens empty and, opened for writing, takes values.
    pf::RegKeyHandle key = nullptr;
    ASSERT_EQ(pf::RegistryOpenKey(pf::kHKeyDynData, "", true, key), kSuccess);
    std::uint32_t size = 0;
    EXPECT_EQ(pf::RegistryQueryValue(key, "V", nullptr, nullptr, size), kNotFound);
    EXPECT_EQ(pf::RegistrySetValue(key, "V", pf::kRegBinary, "z", 1), kSuccess);
    pf::RegistryCloseKey(key);
    EXPECT_EQ(LoadValue(pf::kHKeyDynData, nullptr, "V").bytes, "z");
    for (std::uint32_t root = 0x80000000u; root <= 0x80000006u; ++root) {
        ASSERT_EQ(StoreValue(root, "Same\\Path", "V", pf::kRegBinary, std::to_string(root)), kSuccess);
    }
    for (std::uint32_t root = 0x80000000u; root <= 0x80000006u; ++root) {
        EXPECT_EQ(LoadValue(root, "Same\\Path", "V").bytes, std::to_string(root)) << std::hex << root;
    }
    EXPECT_EQ(Open(pf::kHKeyLocalMachine, "A"), kNotFound);
}

TEST(RegistryBackendValues, KeepTypeExactBytesAndTheirFirstNameCase) {
    CScopedRegistry registry;
    std::string everyByte(256, '\0');
    for (int b = 0; b < 256; ++b) {
        everyByte[b] = static_cast<char>(b);
    }
    const std::string dword("\x04\0\0\0", 4), odd("\0a\0", 3);
    struct stValue {
        const char* name;
        std::uint32_t type;
        std::string bytes;
    };
    // clang-format off
    const stValue writes[] = {
        {"All", pf::kRegBinary, everyByte}, {"Odd", 0xFFFFFFFFu, odd}, {"Empty", pf::kRegSz, ""},
        {"Name", pf::kRegBinary, "a long first value"},
        {"nAmE", pf::kRegDword, dword}, // replaces type, size and bytes; keeps the name "Name"
        {nullptr, pf::kRegBinary, "default"}};
    const stValue reads[] = {
        {"All", pf::kRegBinary, everyByte}, {"Odd", 0xFFFFFFFFu, odd}, {"Empty", pf::kRegSz, ""},
        {"NAME", pf::kRegDword, dword}, {"", pf::kRegBinary, "default"}};
    // clang-format on
    for (const auto& w : writes) {
        ASSERT_EQ(StoreValue(kUser, "K", w.name, w.type, w.bytes), kSuccess);
    }
    for (const auto& r : reads) {
        const stLoadedValue loaded = LoadValue(kUser, "K", r.name);
        EXPECT_EQ(loaded.result, kSuccess) << r.name;
        EXPECT_EQ(loaded.type, r.type) << r.name;
        EXPECT_EQ(loaded.bytes, r.bytes) << r.name;
    }
    EXPECT_EQ(InspectStore(registry.Path(), "SELECT name FROM reg_value ORDER BY name"),
              (Names{"", "All", "Empty", "Name", "Odd"}));
}

TEST(RegistryBackendValues, QueryAndSetFollowTheCallRules) {
    CScopedRegistry registry;
    ASSERT_EQ(StoreValue(kUser, "K", "V", pf::kRegExpandSz, "0123456789"), kSuccess);
    pf::RegKeyHandle key = nullptr;
    ASSERT_EQ(pf::RegistryOpenKey(kUser, "K", false, key), kSuccess);
    // No buffer: succeeds and reports the size and type.
    std::uint32_t type = 0;
    std::uint32_t size = 3;
    EXPECT_EQ(pf::RegistryQueryValue(key, "V", &type, nullptr, size), kSuccess);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(type, pf::kRegExpandSz);
    // Too small: MoreData, the size needed, and the buffer untouched.
    char buffer[32];
    std::memset(buffer, '#', sizeof(buffer));
    size = 9;
    EXPECT_EQ(pf::RegistryQueryValue(key, "V", nullptr, buffer, size), pf::RegResult::MoreData);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(std::string(buffer, sizeof(buffer)), std::string(32, '#'));
    // Larger than needed: the stored count comes back.
    size = sizeof(buffer);
    EXPECT_EQ(pf::RegistryQueryValue(key, "V", nullptr, buffer, size), kSuccess);
    EXPECT_EQ(std::string(buffer, size), "0123456789");
    // Missing value: NotFound, size left alone.
    size = 77;
    EXPECT_EQ(pf::RegistryQueryValue(key, "Missing", &type, buffer, size), kNotFound);
    EXPECT_EQ(size, 77u);
    // A key opened for reading refuses writes.
    EXPECT_EQ(pf::RegistrySetValue(key, "W", pf::kRegBinary, "ab", 2), kFailure);
    pf::RegistryCloseKey(key);
    ASSERT_EQ(pf::RegistryOpenKey(kUser, "K", true, key), kSuccess);
    EXPECT_EQ(pf::RegistrySetValue(key, "W", pf::kRegBinary, "ab", 2), kSuccess);
    // A zero-length value; null data with a size is refused.
    EXPECT_EQ(pf::RegistrySetValue(key, "Z", pf::kRegBinary, nullptr, 0), kSuccess);
    EXPECT_EQ(pf::RegistrySetValue(key, "N", pf::kRegBinary, nullptr, 4), kFailure);
    size = 5;
    EXPECT_EQ(pf::RegistryQueryValue(key, "Z", &type, buffer, size), kSuccess);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(type, pf::kRegBinary);
    EXPECT_EQ(pf::RegistryQueryValue(key, "N", nullptr, nullptr, size), kNotFound);
    pf::RegistryCloseKey(key);
    EXPECT_EQ(LoadValue(kUser, "K", "W").bytes, "ab");
    // Null handles fail.
    EXPECT_EQ(pf::RegistrySetValue(nullptr, "V", pf::kRegBinary, "abcd", 4), kFailure);
    EXPECT_EQ(pf::RegistryQueryValue(nullptr, "V", nullptr, nullptr, size), kFailure);
    pf::RegistryCloseKey(nullptr);
}

TEST(RegistryBackendStore, LocationIsReadAtEveryOpenAndTheStoreIsMadePrivate) {
    CTempDir dir;
    ASSERT_EQ(::mkdir(dir.File("existing").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(dir.File("existing").c_str(), 0755), 0);
    CScopedEnv noStore("AIRVANE_REGISTRY", ""); // empty counts as unset
    CScopedEnv home("HOME", dir.File("home").c_str());
    {
        CScopedEnv config("XDG_CONFIG_HOME", dir.File("existing/a").c_str());
        const mode_t oldMask = ::umask(0); // the modes must not depend on the caller's umask
        EXPECT_EQ(StoreValue(kUser, "K", "V", pf::kRegBinary, "config"), kSuccess);
        ::umask(oldMask);
        EXPECT_EQ(ModeOf(dir.File("existing/a/airvane/registry.db")), 0600);
        EXPECT_EQ(ModeOf(dir.File("existing/a/airvane")), 0700);
        EXPECT_EQ(ModeOf(dir.File("existing/a")), 0700);
        EXPECT_EQ(ModeOf(dir.File("existing")), 0755); // folders that were there stay as they are
    }
    {
        CScopedEnv config("XDG_CONFIG_HOME", "relative"); // ignored: not absolute
        ASSERT_EQ(StoreValue(kUser, "K", "V", pf::kRegBinary, "home"), kSuccess);
        EXPECT_EQ(ModeOf("relative"), -1);
    }
    CScopedEnv config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(LoadValue(kUser, "K", "V").bytes, "home");
    EXPECT_NE(ModeOf(dir.File("home/.config/airvane/registry.db")), -1);
    {
        CScopedEnv store("AIRVANE_REGISTRY", dir.File("explicit.db").c_str());
        EXPECT_EQ(Open(kUser, "K"), kNotFound);
    }
    {
        CScopedEnv back("XDG_CONFIG_HOME", dir.File("existing/a").c_str());
        EXPECT_EQ(LoadValue(kUser, "K", "V").bytes, "config");
    }
    CScopedEnv noHome("HOME", nullptr);
    EXPECT_EQ(Create(kUser, "K"), kFailure);
}

TEST(RegistryBackendStore, OpeningOrBadRootsCreateNoStoreAndAnEmptyFileBecomesOne) {
    CTempDir dir;
    {
        CScopedEnv store("AIRVANE_REGISTRY", dir.File("sub/registry.db").c_str());
        for (std::uint32_t root : {0u, 1u, 0x7FFFFFFFu, 0x80000007u, 0xFFFFFFFFu}) {
            pf::RegKeyHandle key = reinterpret_cast<pf::RegKeyHandle>(&root);
            EXPECT_EQ(pf::RegistryCreateKey(root, "A", key), kFailure) << root;
            EXPECT_EQ(key, nullptr);
            EXPECT_EQ(Open(root, "A"), kFailure) << root;
        }
        EXPECT_EQ(Open(kUser, "K"), kNotFound);
        EXPECT_EQ(Open(kUser, "K", true), kNotFound);
        EXPECT_EQ(Open(kUser, ""), kNotFound);
        EXPECT_EQ(ModeOf(dir.File("sub")), -1);
    }
    CScopedEnv store("AIRVANE_REGISTRY", dir.File("empty.db").c_str());
    WriteFile(dir.File("empty.db"), "");
    ASSERT_EQ(StoreValue(kUser, "K", "V", pf::kRegBinary, "v"), kSuccess);
    EXPECT_EQ(LoadValue(kUser, "K", "V").bytes, "v");
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

TEST(RegistryBackendStore, StoreOthersCouldReachIsTightenedOrRefused) {
    CTempDir dir;
    ASSERT_EQ(::mkdir(dir.File("open").c_str(), 0777), 0);
    ASSERT_EQ(::chmod(dir.File("open").c_str(), 0777), 0);
    ASSERT_EQ(::mkdir(dir.File("sticky").c_str(), 0777), 0);
    ASSERT_EQ(::chmod(dir.File("sticky").c_str(), 01777), 0);
    WriteFile(dir.File("shared.db"), "");
    ASSERT_EQ(::chmod(dir.File("shared.db").c_str(), 0666), 0);
    WriteFile(dir.File("target.db"), "");
    ASSERT_EQ(::chmod(dir.File("target.db").c_str(), 0644), 0);
    ASSERT_EQ(::symlink(dir.File("target.db").c_str(), dir.File("link.db").c_str()), 0);
    ASSERT_EQ(::symlink(dir.File("nowhere.db").c_str(), dir.File("dangling.db").c_str()), 0);
    struct stCase {
        std::string store;    // the store's path
        std::string checked;  // the file whose mode is checked afterwards
        pf::RegResult result; // of storing a value
        pf::RegResult opened; // of opening the key afterwards
        int mode;             // -1: the file must not exist
    };
    std::vector<stCase> cases = {
        {dir.File("shared.db"), dir.File("shared.db"), kSuccess, kSuccess, 0600},
        {dir.File("link.db"), dir.File("target.db"), kSuccess, kSuccess, 0600},
        {dir.File("dangling.db"), dir.File("nowhere.db"), kFailure, kNotFound, -1},
        {dir.File("open/registry.db"), dir.File("open/registry.db"), kFailure, kNotFound, -1},
        {dir.File("sticky/registry.db"), dir.File("sticky/registry.db"), kSuccess, kSuccess, 0600},
    };
    if (::geteuid() == 0) { // a file of another user cannot be tightened: it is refused
        WriteFile(dir.File("foreign.db"), "");
        ASSERT_EQ(::chown(dir.File("foreign.db").c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chmod(dir.File("foreign.db").c_str(), 0644), 0);
        cases.push_back({dir.File("foreign.db"), dir.File("foreign.db"), kFailure, kFailure, 0644});
    }
    for (const stCase& c : cases) {
        SCOPED_TRACE(c.store);
        CScopedEnv store("AIRVANE_REGISTRY", c.store.c_str());
        EXPECT_EQ(StoreValue(kUser, "K", "V", pf::kRegBinary, "key"), c.result);
        EXPECT_EQ(Open(kUser, "K"), c.opened);
        EXPECT_EQ(ModeOf(c.checked), c.mode);
    }
    struct stat link;
    ASSERT_EQ(::lstat(dir.File("link.db").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode)) << "the link itself stays";
}

} // namespace
