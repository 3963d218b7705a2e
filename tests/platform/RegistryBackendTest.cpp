#include "airvane/platform/RegistryBackend.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

namespace pf = airvane::platform;
using airvane::test::CScopedEnv;
using airvane::test::CScopedRegistry;
using airvane::test::CTempDir;
using airvane::test::ReadFile;
using airvane::test::RunInChild;
using airvane::test::WriteFile;

constexpr std::uint32_t kAllRoots[] = {0x80000000u, 0x80000001u, 0x80000002u, 0x80000003u,
                                       0x80000004u, 0x80000005u, 0x80000006u};

// Creates `subKey` under `root` and stores one value in it.
pf::RegResult Store(std::uint32_t root, const char* subKey, const char* name, std::uint32_t type,
                    const std::string& bytes) {
    pf::RegKeyHandle key = nullptr;
    pf::RegResult result = pf::RegCreateKey(root, subKey, key);
    if (result == pf::RegResult::Success) {
        result = pf::RegSetValue(key, name, type, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        pf::RegCloseKey(key);
    }
    return result;
}

struct stLoaded {
    pf::RegResult result = pf::RegResult::Failure;
    std::uint32_t type = 0xDEADBEEF;
    std::string bytes;
};

// Opens `subKey` for reading and reads one value with a generous buffer.
stLoaded Load(std::uint32_t root, const char* subKey, const char* name) {
    stLoaded loaded;
    pf::RegKeyHandle key = nullptr;
    loaded.result = pf::RegOpenKey(root, subKey, false, key);
    if (loaded.result != pf::RegResult::Success) {
        return loaded;
    }
    std::vector<char> buffer(4096);
    std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
    loaded.result = pf::RegQueryValue(key, name, &loaded.type, buffer.data(), size);
    if (loaded.result == pf::RegResult::Success) {
        loaded.bytes.assign(buffer.data(), size);
    }
    pf::RegCloseKey(key);
    return loaded;
}

pf::RegResult OpenAndClose(std::uint32_t root, const char* subKey, bool forWrite) {
    pf::RegKeyHandle key = nullptr;
    const pf::RegResult result = pf::RegOpenKey(root, subKey, forWrite, key);
    EXPECT_EQ(result == pf::RegResult::Success, key != nullptr);
    pf::RegCloseKey(key);
    return result;
}

pf::RegResult CreateAndClose(std::uint32_t root, const char* subKey) {
    pf::RegKeyHandle key = nullptr;
    const pf::RegResult result = pf::RegCreateKey(root, subKey, key);
    EXPECT_EQ(result == pf::RegResult::Success, key != nullptr);
    pf::RegCloseKey(key);
    return result;
}

// Runs a query on a store file directly and returns the first column of every row.
std::vector<std::string> Inspect(const std::string& file, const char* sql) {
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW) {
                const unsigned char* text = sqlite3_column_text(statement, 0);
                rows.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return rows;
}

std::set<std::string> FolderEntries(const std::string& folder) {
    std::set<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

mode_t ModeOf(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

// Restores the process umask at scope end.
class CScopedUmask {
public:
    explicit CScopedUmask(mode_t mask) : m_old(::umask(mask)) {}
    ~CScopedUmask() { ::umask(m_old); }

private:
    mode_t m_old;
};

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

// ---------------------------------------------------------------------------------------
// Keys

TEST(RegistryBackendKeys, CreateMakesMissingAncestors) {
    CScopedRegistry registry;
    ASSERT_EQ(CreateAndClose(pf::kHKeyCurrentUser, "Software\\Vendor\\Product"), pf::RegResult::Success);
    EXPECT_EQ(OpenAndClose(pf::kHKeyCurrentUser, "Software", false), pf::RegResult::Success);
    EXPECT_EQ(OpenAndClose(pf::kHKeyCurrentUser, "Software\\Vendor", false), pf::RegResult::Success);
    EXPECT_EQ(OpenAndClose(pf::kHKeyCurrentUser, "Software\\Vendor\\Product", true), pf::RegResult::Success);
    EXPECT_EQ(OpenAndClose(pf::kHKeyCurrentUser, "Software\\Other", false), pf::RegResult::NotFound);
    EXPECT_EQ(OpenAndClose(pf::kHKeyCurrentUser, "Software\\Vendor\\Product\\Deeper", false),
              pf::RegResult::NotFound);
    // Creating an existing key again opens it; nothing is duplicated.
    EXPECT_EQ(CreateAndClose(pf::kHKeyCurrentUser, "Software\\Vendor"), pf::RegResult::Success);
    EXPECT_EQ(Inspect(registry.Path(), "SELECT count(*) FROM reg_key"), std::vector<std::string>{"4"});
}

TEST(RegistryBackendKeys, KeyPathsIgnoreCaseAndKeepTheCaseTheyWereCreatedWith) {
    CScopedRegistry registry;
    ASSERT_EQ(Store(pf::kHKeyCurrentUser, "Software\\Vendor", "Colour", pf::kRegBinary, "blue"),
              pf::RegResult::Success);
    const stLoaded loaded = Load(pf::kHKeyCurrentUser, "SOFTWARE\\vendor", "Colour");
    EXPECT_EQ(loaded.result, pf::RegResult::Success);
    EXPECT_EQ(loaded.bytes, "blue");

    ASSERT_EQ(CreateAndClose(pf::kHKeyCurrentUser, "software\\VENDOR\\Sub"), pf::RegResult::Success);
    EXPECT_EQ(Inspect(registry.Path(), "SELECT name FROM reg_key WHERE name <> '' ORDER BY id"),
              (std::vector<std::string>{"Software", "Vendor", "Sub"}));

    // Only ASCII letters fold: "\xC3\x84" (A umlaut) and "\xC3\xA4" (a umlaut) are different keys.
    ASSERT_EQ(CreateAndClose(pf::kHKeyCurrentUser, "\xC3\x84"), pf::RegResult::Success);
    EXPECT_EQ(OpenAndClose(pf::kHKeyCurrentUser, "\xC3\xA4", false), pf::RegResult::NotFound);
}

TEST(RegistryBackendKeys, ValueNamesIgnoreCaseAndKeepTheirFirstCase) {
    CScopedRegistry registry;
    ASSERT_EQ(Store(pf::kHKeyLocalMachine, "K", "Name", pf::kRegBinary, "one"), pf::RegResult::Success);
    EXPECT_EQ(Load(pf::kHKeyLocalMachine, "K", "NAME").bytes, "one");
    ASSERT_EQ(Store(pf::kHKeyLocalMachine, "K", "nAmE", pf::kRegBinary, "two"), pf::RegResult::Success);
    EXPECT_EQ(Load(pf::kHKeyLocalMachine, "K", "name").bytes, "two");
    EXPECT_EQ(Inspect(registry.Path(), "SELECT name FROM reg_value"), std::vector<std::string>{"Name"});
}

TEST(RegistryBackendKeys, EachRootIsASeparateTree) {
    CScopedRegistry registry;
    for (std::uint32_t root : kAllRoots) {
        ASSERT_EQ(Store(root, "Same\\Path", "V", pf::kRegBinary, std::to_string(root)),
                  pf::RegResult::Success);
    }
    for (std::uint32_t root : kAllRoots) {
        EXPECT_EQ(Load(root, "Same\\Path", "V").bytes, std::to_string(root)) << std::hex << root;
    }
    ASSERT_EQ(Store(pf::kHKeyCurrentUser, "OnlyHere", "V", pf::kRegBinary, "x"), pf::RegResult::Success);
    EXPECT_EQ(OpenAndClose(pf::kHKeyLocalMachine, "OnlyHere", false), pf::RegResult::NotFound);
}

TEST(RegistryBackendKeys, HandlesOutsideThePredefinedRootsFail) {
    CScopedRegistry registry;
    for (std::uint32_t root : {0u, 1u, 0x7FFFFFFFu, 0x80000007u, 0xFFFFFFFFu}) {
        pf::RegKeyHandle key = reinterpret_cast<pf::RegKeyHandle>(&root);
        EXPECT_EQ(pf::RegCreateKey(root, "A", key), pf::RegResult::Failure) << root;
        EXPECT_EQ(key, nullptr);
        EXPECT_EQ(OpenAndClose(root, "A", false), pf::RegResult::Failure) << root;
    }
    EXPECT_FALSE(Exists(registry.Path()));
}

TEST(RegistryBackendKeys, SeparatorRules) {
    CScopedRegistry registry;
    // One trailing separator is ignored.
    ASSERT_EQ(Store(pf::kHKeyCurrentUser, "A\\B\\", "V", pf::kRegBinary, "ab"), pf::RegResult::Success);
    EXPECT_EQ(Load(pf::kHKeyCurrentUser, "A\\B", "V").bytes, "ab");
    // Other empty components make the path invalid.
    for (const char* bad : {"\\A", "A\\\\B", "\\", "A\\\\", "\\\\"}) {
        EXPECT_EQ(CreateAndClose(pf::kHKeyCurrentUser, bad), pf::RegResult::Failure) << bad;
        EXPECT_EQ(OpenAndClose(pf::kHKeyCurrentUser, bad, false), pf::RegResult::Failure) << bad;
    }
    // Components are limited to 255 bytes.
    const std::string longest(255, 'k');
    EXPECT_EQ(CreateAndClose(pf::kHKeyCurrentUser, longest.c_str()), pf::RegResult::Success);
    const std::string tooLong(256, 'k');
    EXPECT_EQ(CreateAndClose(pf::kHKeyCurrentUser, tooLong.c_str()), pf::RegResult::Failure);
    // An empty or null path is the root key itself.
    ASSERT_EQ(Store(pf::kHKeyUsers, "", "AtRoot", pf::kRegBinary, "r"), pf::RegResult::Success);
    EXPECT_EQ(Load(pf::kHKeyUsers, nullptr, "AtRoot").bytes, "r");
}

TEST(RegistryBackendKeys, RootKeyOfAnUntouchedTreeOpensEmpty) {
    CScopedRegistry registry;
    ASSERT_EQ(CreateAndClose(pf::kHKeyCurrentUser, "A"), pf::RegResult::Success);
    pf::RegKeyHandle key = nullptr;
    ASSERT_EQ(pf::RegOpenKey(pf::kHKeyDynData, "", true, key), pf::RegResult::Success);
    std::uint32_t size = 0;
    EXPECT_EQ(pf::RegQueryValue(key, "V", nullptr, nullptr, size), pf::RegResult::NotFound);
    // Opened for writing, the root key takes values.
    const char data[] = {'z'};
    EXPECT_EQ(pf::RegSetValue(key, "V", pf::kRegBinary, data, 1), pf::RegResult::Success);
    pf::RegCloseKey(key);
    EXPECT_EQ(Load(pf::kHKeyDynData, "", "V").bytes, "z");
}

TEST(RegistryBackendKeys, KeysOpenedForReadingRefuseWrites) {
    CScopedRegistry registry;
    ASSERT_EQ(CreateAndClose(pf::kHKeyCurrentUser, "K"), pf::RegResult::Success);
    const char data[] = {1, 2};
    pf::RegKeyHandle key = nullptr;
    ASSERT_EQ(pf::RegOpenKey(pf::kHKeyCurrentUser, "K", false, key), pf::RegResult::Success);
    EXPECT_EQ(pf::RegSetValue(key, "V", pf::kRegBinary, data, 2), pf::RegResult::Failure);
    pf::RegCloseKey(key);
    ASSERT_EQ(pf::RegOpenKey(pf::kHKeyCurrentUser, "K", true, key), pf::RegResult::Success);
    EXPECT_EQ(pf::RegSetValue(key, "V", pf::kRegBinary, data, 2), pf::RegResult::Success);
    pf::RegCloseKey(key);
    EXPECT_EQ(Load(pf::kHKeyCurrentUser, "K", "V").bytes, std::string("\x01\x02", 2));
}

// ---------------------------------------------------------------------------------------
// Values

TEST(RegistryBackendValues, KeepTypeAndExactBytes) {
    CScopedRegistry registry;
    std::string everyByte;
    for (int b = 0; b < 256; ++b) {
        everyByte.push_back(static_cast<char>(b));
    }
    ASSERT_EQ(Store(pf::kHKeyCurrentUser, "K", "All", pf::kRegBinary, everyByte), pf::RegResult::Success);
    ASSERT_EQ(Store(pf::kHKeyCurrentUser, "K", "Odd", 0xFFFFFFFFu, std::string("\0a\0", 3)),
              pf::RegResult::Success);
    ASSERT_EQ(Store(pf::kHKeyCurrentUser, "K", "Empty", pf::kRegSz, ""), pf::RegResult::Success);

    stLoaded loaded = Load(pf::kHKeyCurrentUser, "K", "All");
    EXPECT_EQ(loaded.type, pf::kRegBinary);
    EXPECT_EQ(loaded.bytes, everyByte);
    loaded = Load(pf::kHKeyCurrentUser, "K", "Odd");
    EXPECT_EQ(loaded.type, 0xFFFFFFFFu);
    EXPECT_EQ(loaded.bytes, std::string("\0a\0", 3));
    loaded = Load(pf::kHKeyCurrentUser, "K", "Empty");
    EXPECT_EQ(loaded.result, pf::RegResult::Success);
    EXPECT_EQ(loaded.type, pf::kRegSz);
    EXPECT_EQ(loaded.bytes, "");
}

TEST(RegistryBackendValues, OverwriteReplacesTypeAndSize) {
    CScopedRegistry registry;
    ASSERT_EQ(Store(pf::kHKeyCurrentUser, "K", "V", pf::kRegBinary, "a long first value"),
              pf::RegResult::Success);
    ASSERT_EQ(Store(pf::kHKeyCurrentUser, "K", "V", pf::kRegDword, std::string("\x04\0\0\0", 4)),
              pf::RegResult::Success);
    const stLoaded loaded = Load(pf::kHKeyCurrentUser, "K", "V");
    EXPECT_EQ(loaded.type, pf::kRegDword);
    EXPECT_EQ(loaded.bytes, std::string("\x04\0\0\0", 4));
}

TEST(RegistryBackendValues, QueryReportsSizesLikeTheWindowsCall) {
    CScopedRegistry registry;
    ASSERT_EQ(Store(pf::kHKeyCurrentUser, "K", "V", pf::kRegExpandSz, "0123456789"), pf::RegResult::Success);
    pf::RegKeyHandle key = nullptr;
    ASSERT_EQ(pf::RegOpenKey(pf::kHKeyCurrentUser, "K", false, key), pf::RegResult::Success);

    // No buffer: succeeds and reports the size and type.
    std::uint32_t type = 0;
    std::uint32_t size = 3;
    EXPECT_EQ(pf::RegQueryValue(key, "V", &type, nullptr, size), pf::RegResult::Success);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(type, pf::kRegExpandSz);

    // Too small: MoreData, the size needed, and the buffer untouched.
    char small[9];
    std::memset(small, '#', sizeof(small));
    size = sizeof(small);
    EXPECT_EQ(pf::RegQueryValue(key, "V", nullptr, small, size), pf::RegResult::MoreData);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(std::string(small, sizeof(small)), std::string(9, '#'));

    // Larger than needed: the stored count comes back.
    char large[32];
    size = sizeof(large);
    EXPECT_EQ(pf::RegQueryValue(key, "V", nullptr, large, size), pf::RegResult::Success);
    EXPECT_EQ(std::string(large, size), "0123456789");

    // Missing value: NotFound, size left alone.
    size = 77;
    EXPECT_EQ(pf::RegQueryValue(key, "Missing", &type, large, size), pf::RegResult::NotFound);
    EXPECT_EQ(size, 77u);
    pf::RegCloseKey(key);
}

TEST(RegistryBackendValues, NullValueNameIsTheEmptyName) {
    CScopedRegistry registry;
    ASSERT_EQ(Store(pf::kHKeyCurrentUser, "K", nullptr, pf::kRegBinary, "default"), pf::RegResult::Success);
    EXPECT_EQ(Load(pf::kHKeyCurrentUser, "K", "").bytes, "default");
}

TEST(RegistryBackendValues, ZeroLengthValue) {
    CScopedRegistry registry;
    pf::RegKeyHandle key = nullptr;
    ASSERT_EQ(pf::RegCreateKey(pf::kHKeyCurrentUser, "K", key), pf::RegResult::Success);
    EXPECT_EQ(pf::RegSetValue(key, "V", pf::kRegBinary, nullptr, 0), pf::RegResult::Success);
    std::uint32_t size = 5;
    std::uint32_t type = 0;
    char buffer[5];
    EXPECT_EQ(pf::RegQueryValue(key, "V", &type, buffer, size), pf::RegResult::Success);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(type, pf::kRegBinary);
    pf::RegCloseKey(key);
}

TEST(RegistryBackendValues, BadArgumentsFail) {
    CScopedRegistry registry;
    std::uint32_t size = 4;
    EXPECT_EQ(pf::RegSetValue(nullptr, "V", pf::kRegBinary, "abcd", 4), pf::RegResult::Failure);
    EXPECT_EQ(pf::RegQueryValue(nullptr, "V", nullptr, nullptr, size), pf::RegResult::Failure);
    pf::RegCloseKey(nullptr);
    pf::RegKeyHandle key = nullptr;
    ASSERT_EQ(pf::RegCreateKey(pf::kHKeyCurrentUser, "K", key), pf::RegResult::Success);
    EXPECT_EQ(pf::RegSetValue(key, "V", pf::kRegBinary, nullptr, 4), pf::RegResult::Failure);
    EXPECT_EQ(pf::RegQueryValue(key, "V", nullptr, nullptr, size), pf::RegResult::NotFound);
    pf::RegCloseKey(key);
}

// ---------------------------------------------------------------------------------------
// The store file

TEST(RegistryBackendStore, LocationIsReadAtEveryOpen) {
    CTempDir dir;
    {
        CScopedEnv first("AIRVANE_REGISTRY", dir.File("first.db").c_str());
        ASSERT_EQ(Store(pf::kHKeyCurrentUser, "K", "V", pf::kRegBinary, "first"), pf::RegResult::Success);
    }
    CScopedEnv second("AIRVANE_REGISTRY", dir.File("second.db").c_str());
    EXPECT_EQ(OpenAndClose(pf::kHKeyCurrentUser, "K", false), pf::RegResult::NotFound);
    ASSERT_EQ(Store(pf::kHKeyCurrentUser, "K", "V", pf::kRegBinary, "second"), pf::RegResult::Success);
    EXPECT_EQ(Load(pf::kHKeyCurrentUser, "K", "V").bytes, "second");
    CScopedEnv back("AIRVANE_REGISTRY", dir.File("first.db").c_str());
    EXPECT_EQ(Load(pf::kHKeyCurrentUser, "K", "V").bytes, "first");
}

TEST(RegistryBackendStore, DefaultLocationFollowsConfigHomeThenHome) {
    CTempDir dir;
    CScopedEnv noStore("AIRVANE_REGISTRY", ""); // empty counts as unset
    {
        CScopedEnv config("XDG_CONFIG_HOME", dir.File("config").c_str());
        ASSERT_EQ(CreateAndClose(pf::kHKeyCurrentUser, "K"), pf::RegResult::Success);
        EXPECT_TRUE(Exists(dir.File("config/airvane/registry.db")));
    }
    CScopedEnv home("HOME", dir.File("home").c_str());
    {
        CScopedEnv config("XDG_CONFIG_HOME", nullptr);
        ASSERT_EQ(CreateAndClose(pf::kHKeyCurrentUser, "K"), pf::RegResult::Success);
        EXPECT_TRUE(Exists(dir.File("home/.config/airvane/registry.db")));
    }
    {
        // A relative configuration home is ignored.
        CScopedEnv config("XDG_CONFIG_HOME", "relative");
        ASSERT_EQ(Store(pf::kHKeyCurrentUser, "K", "V", pf::kRegBinary, "h"), pf::RegResult::Success);
        EXPECT_FALSE(Exists("relative"));
    }
    CScopedEnv config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(Load(pf::kHKeyCurrentUser, "K", "V").bytes, "h");
    CScopedEnv noHome("HOME", nullptr);
    EXPECT_EQ(CreateAndClose(pf::kHKeyCurrentUser, "K"), pf::RegResult::Failure);
}

TEST(RegistryBackendStore, CreatedFileIsPrivateInPrivateFolders) {
    CTempDir dir;
    ASSERT_EQ(::mkdir(dir.File("existing").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(dir.File("existing").c_str(), 0755), 0);
    const std::string file = dir.File("existing/a/b/registry.db");
    CScopedEnv store("AIRVANE_REGISTRY", file.c_str());
    CScopedUmask umask(0); // the modes must not depend on the caller's umask
    ASSERT_EQ(CreateAndClose(pf::kHKeyCurrentUser, "K"), pf::RegResult::Success);
    EXPECT_EQ(ModeOf(file), 0600u);
    EXPECT_EQ(ModeOf(dir.File("existing/a")), 0700u);
    EXPECT_EQ(ModeOf(dir.File("existing/a/b")), 0700u);
    EXPECT_EQ(ModeOf(dir.File("existing")), 0755u); // folders that were there stay as they are
}

TEST(RegistryBackendStore, OpeningOnAMissingStoreCreatesNothing) {
    CTempDir dir;
    const std::string file = dir.File("sub/registry.db");
    CScopedEnv store("AIRVANE_REGISTRY", file.c_str());
    EXPECT_EQ(OpenAndClose(pf::kHKeyCurrentUser, "K", false), pf::RegResult::NotFound);
    EXPECT_EQ(OpenAndClose(pf::kHKeyCurrentUser, "K", true), pf::RegResult::NotFound);
    EXPECT_EQ(OpenAndClose(pf::kHKeyCurrentUser, "", false), pf::RegResult::NotFound);
    EXPECT_FALSE(Exists(dir.File("sub")));
}

TEST(RegistryBackendStore, EmptyFileBecomesAStore) {
    CScopedRegistry registry;
    WriteFile(registry.Path(), "");
    ASSERT_EQ(Store(pf::kHKeyCurrentUser, "K", "V", pf::kRegBinary, "v"), pf::RegResult::Success);
    EXPECT_EQ(Load(pf::kHKeyCurrentUser, "K", "V").bytes, "v");
}

// Every operation on a store that is not one fails, and the file stays byte for byte.
void ExpectUnusableAndUntouched(const std::string& file) {
    const std::string before = ReadFile(file);
    const std::set<std::string> entries = FolderEntries(std::filesystem::path(file).parent_path().string());
    EXPECT_EQ(CreateAndClose(pf::kHKeyCurrentUser, "K"), pf::RegResult::Failure);
    EXPECT_EQ(CreateAndClose(pf::kHKeyLocalMachine, ""), pf::RegResult::Failure);
    EXPECT_EQ(OpenAndClose(pf::kHKeyCurrentUser, "K", false), pf::RegResult::Failure);
    EXPECT_EQ(OpenAndClose(pf::kHKeyCurrentUser, "K", true), pf::RegResult::Failure);
    EXPECT_EQ(OpenAndClose(pf::kHKeyCurrentUser, "", false), pf::RegResult::Failure);
    EXPECT_EQ(Store(pf::kHKeyCurrentUser, "K", "V", pf::kRegBinary, "v"), pf::RegResult::Failure);
    EXPECT_TRUE(ReadFile(file) == before) << "store changed";
    EXPECT_EQ(FolderEntries(std::filesystem::path(file).parent_path().string()), entries);
}

TEST(RegistryBackendStore, RandomBytesFailEverythingAndStayUnchanged) {
    CScopedRegistry registry;
    std::mt19937 random(20240611);
    std::string garbage;
    for (int i = 0; i < 3 * 4096 + 17; ++i) {
        garbage.push_back(static_cast<char>(random() & 0xFF));
    }
    WriteFile(registry.Path(), garbage);
    ExpectUnusableAndUntouched(registry.Path());
    EXPECT_EQ(ReadFile(registry.Path()), garbage);
}

TEST(RegistryBackendStore, ShortTextFileFailsAndStaysUnchanged) {
    CScopedRegistry registry;
    WriteFile(registry.Path(), "not a database\n");
    ExpectUnusableAndUntouched(registry.Path());
}

TEST(RegistryBackendStore, ForeignDatabaseIsNotAdopted) {
    CScopedRegistry registry;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(registry.Path().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine');", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    ExpectUnusableAndUntouched(registry.Path());
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
        ASSERT_EQ(Store(pf::kHKeyCurrentUser, "K", "V", pf::kRegBinary, "kept"), pf::RegResult::Success);
    }
    const std::string before = ReadFile(file);

    const int status = RunInChild([&] {
        if (!DropPrivileges({dir.Path(), folder, file, emptyFolder})) {
            ADD_FAILURE() << "cannot drop privileges";
            return 2;
        }
        if (::chmod(folder.c_str(), 0500) != 0 || ::chmod(emptyFolder.c_str(), 0500) != 0) {
            ADD_FAILURE() << "chmod failed";
            return 2;
        }
        {
            CScopedEnv store("AIRVANE_REGISTRY", file.c_str());
            // Reading still works; anything that has to write fails.
            EXPECT_EQ(Load(pf::kHKeyCurrentUser, "K", "V").bytes, "kept");
            EXPECT_EQ(Store(pf::kHKeyCurrentUser, "K", "V", pf::kRegBinary, "new"), pf::RegResult::Failure);
            EXPECT_EQ(CreateAndClose(pf::kHKeyCurrentUser, "K\\New"), pf::RegResult::Failure);
            EXPECT_EQ(Load(pf::kHKeyCurrentUser, "K", "V").bytes, "kept");
        }
        {
            CScopedEnv store("AIRVANE_REGISTRY", (emptyFolder + "/registry.db").c_str());
            EXPECT_EQ(CreateAndClose(pf::kHKeyCurrentUser, "K"), pf::RegResult::Failure);
            EXPECT_EQ(OpenAndClose(pf::kHKeyCurrentUser, "K", false), pf::RegResult::NotFound);
        }
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(ReadFile(file) == before);
    EXPECT_EQ(FolderEntries(folder), std::set<std::string>{"registry.db"});
    EXPECT_TRUE(FolderEntries(emptyFolder).empty());
}

TEST(RegistryBackendStore, TwoProcessesWriteTheSameStore) {
    CScopedRegistry registry; // the store does not exist yet: both processes race to make it
    constexpr int kChildren = 2;
    constexpr int kValuesPerChild = 150;
    constexpr int kSubKeys = 6;
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::fflush(nullptr);
    pid_t children[kChildren];
    for (int child = 0; child < kChildren; ++child) {
        children[child] = ::fork();
        ASSERT_GE(children[child], 0);
        if (children[child] == 0) {
            ::close(gate[1]);
            char start;
            (void)!::read(gate[0], &start, 1); // returns when the parent closes the pipe
            int failures = 0;
            for (int i = 0; i < kValuesPerChild; ++i) {
                const std::string subKey = "Shared\\Sub" + std::to_string(i % kSubKeys);
                const std::string name = "c" + std::to_string(child) + "-v" + std::to_string(i);
                if (Store(pf::kHKeyCurrentUser, subKey.c_str(), name.c_str(), pf::kRegBinary, name) !=
                    pf::RegResult::Success) {
                    ++failures;
                }
            }
            ::_exit(failures > 100 ? 100 : failures);
        }
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "failed writes in child " << pid;
    }
    int missing = 0;
    for (int child = 0; child < kChildren; ++child) {
        for (int i = 0; i < kValuesPerChild; ++i) {
            const std::string subKey = "Shared\\Sub" + std::to_string(i % kSubKeys);
            const std::string name = "c" + std::to_string(child) + "-v" + std::to_string(i);
            if (Load(pf::kHKeyCurrentUser, subKey.c_str(), name.c_str()).bytes != name) {
                ++missing;
            }
        }
    }
    EXPECT_EQ(missing, 0);
    // One root row, "Shared" and its subkeys: no key was made twice.
    EXPECT_EQ(Inspect(registry.Path(), "SELECT count(*) FROM reg_key"),
              std::vector<std::string>{std::to_string(2 + kSubKeys)});
}

} // namespace
