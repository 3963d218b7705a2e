#include "airvane/system/Registry.h"

#include "airvane/platform/RegistryBackend.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace {

namespace pf = airvane::platform;
using airvane::test::CScopedRegistry;
using airvane::test::ReadFile;

constexpr const char* kKeyPath = "HKEY_CURRENT_USER\\Software\\Airvane\\Keys";
constexpr const char* kSubKey = "Software\\Airvane\\Keys";

// Stores a value of any type and bytes straight through the backend.
void StoreRaw(std::uint32_t root, const char* subKey, const char* name, std::uint32_t type,
              const std::string& bytes) {
    pf::RegKeyHandle key = nullptr;
    ASSERT_EQ(pf::RegCreateKey(root, subKey, key), pf::RegResult::Success);
    EXPECT_EQ(pf::RegSetValue(key, name, type, bytes.data(), static_cast<std::uint32_t>(bytes.size())),
              pf::RegResult::Success);
    pf::RegCloseKey(key);
}

// Reads a value straight through the backend.
std::string LoadRaw(std::uint32_t root, const char* subKey, const char* name, std::uint32_t* type = nullptr) {
    pf::RegKeyHandle key = nullptr;
    if (pf::RegOpenKey(root, subKey, false, key) != pf::RegResult::Success) {
        return "<no key>";
    }
    char buffer[256];
    std::uint32_t size = sizeof(buffer);
    const pf::RegResult result = pf::RegQueryValue(key, name, type, buffer, size);
    pf::RegCloseKey(key);
    return result == pf::RegResult::Success ? std::string(buffer, size) : "<no value>";
}

TEST(RegistryParsePath, SplitsAtTheFirstSeparatorAfterAKnownRootName) {
    constexpr std::uint32_t kUntouched = 12345;
    const struct {
        const char* path;
        int result;
        std::uint32_t root;
        const char* subKey; // null: not looked at
    } cases[] = {
        // clang-format off
        {"HKEY_CLASSES_ROOT\\Sub\\Key", 1, 0x80000000u, "Sub\\Key"},
        {"HKEY_CURRENT_USER\\Sub\\Key", 1, 0x80000001u, "Sub\\Key"},
        {"HKEY_LOCAL_MACHINE\\Sub\\Key", 1, 0x80000002u, "Sub\\Key"},
        {"HKEY_USERS\\Sub\\Key", 1, 0x80000003u, "Sub\\Key"},
        {"HKEY_CURRENT_CONFIG\\Sub\\Key", 1, 0x80000005u, "Sub\\Key"},
        {"HKEY_DYN_DATA\\Sub\\Key", 1, 0x80000006u, "Sub\\Key"},
        {"HKEY_CURRENT_USER\\A\\B\\C", 1, pf::kHKeyCurrentUser, "A\\B\\C"},
        {"HKEY_LOCAL_MACHINE\\", 1, pf::kHKeyLocalMachine, ""},
        // A root alone fails before the root is touched; the path was copied before the search.
        {"HKEY_CURRENT_USER", 0, kUntouched, "HKEY_CURRENT_USER"}, {"", 0, kUntouched, nullptr},
        {nullptr, 0, kUntouched, nullptr},
        // Unknown root names fail with the root reset before the table search.
        {"hkey_current_user\\A", 0, 0, nullptr}, {"HKEY_Current_User\\A", 0, 0, nullptr},
        {"HKEY_PERFORMANCE_DATA\\A", 0, 0, nullptr}, {"HKCU\\A", 0, 0, nullptr},
        {"\\HKEY_CURRENT_USER\\A", 0, 0, nullptr}, {" HKEY_CURRENT_USER\\A", 0, 0, nullptr},
        {"HKEY_CURRENT_USER \\A", 0, 0, nullptr},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path != nullptr ? c.path : "null");
        std::uint32_t root = kUntouched;
        std::string subKey = "old";
        EXPECT_EQ(RegistryParsePath(c.path, root, subKey), c.result);
        EXPECT_EQ(root, c.root);
        if (c.subKey != nullptr) {
            EXPECT_EQ(subKey, c.subKey);
        }
    }
}

TEST(RegistryStrings, StoredAsTerminatedPlainStringsUnderTheSubkey) {
    CScopedRegistry registry;
    std::string text = "previous";
    EXPECT_EQ(RegistryGetString(kKeyPath, "Label", text), 0); // no store at all
    EXPECT_TRUE(ReadFile(registry.Path()).empty());
    ASSERT_EQ(RegistrySetString(kKeyPath, "Label", "hello"), 1);
    ASSERT_EQ(RegistryGetString(kKeyPath, "Label", text), 1);
    EXPECT_EQ(text, "hello");
    // Five characters are stored as six bytes, with the terminating zero, as a plain string.
    std::uint32_t type = 0;
    EXPECT_EQ(LoadRaw(pf::kHKeyCurrentUser, kSubKey, "Label", &type), std::string("hello\0", 6));
    EXPECT_EQ(type, pf::kRegSz);
    unsigned char buffer[16];
    std::uint32_t count = sizeof(buffer);
    ASSERT_EQ(RegistryGetBinary(kKeyPath, "Label", buffer, count), 1);
    EXPECT_EQ(count, 6u);
    ASSERT_EQ(RegistrySetString(kKeyPath, "Empty", ""), 1);
    EXPECT_EQ(RegistryGetString(kKeyPath, "Empty", text), 1);
    EXPECT_EQ(text, "");

    ASSERT_EQ(RegistrySetString("HKEY_CURRENT_USER\\A\\B\\C", "V", "abc"), 1);
    EXPECT_EQ(LoadRaw(pf::kHKeyCurrentUser, "A\\B\\C", "V"), std::string("abc\0", 4));
    EXPECT_EQ(LoadRaw(pf::kHKeyLocalMachine, "A\\B\\C", "V"), "<no key>");
    text = "previous";
    EXPECT_EQ(RegistryGetString("HKEY_CURRENT_USER\\A\\B", "V", text), 0);
    EXPECT_EQ(RegistryGetString(kKeyPath, "Other", text), 0);
    EXPECT_EQ(RegistryGetString("HKEY_CURRENT_USER\\Software\\Missing", "Label", text), 0);
    EXPECT_EQ(text, "previous");
    // Key paths and value names ignore case, as on the system whose paths these are.
    EXPECT_EQ(RegistryGetString("HKEY_CURRENT_USER\\a\\b\\c", "v", text), 1);
    EXPECT_EQ(text, "abc");
}

TEST(RegistryStrings, ReadsOnlyStringTypesUpToTheirFirstZeroOrLastByte) {
    const struct {
        std::uint32_t type;
        std::string bytes;
        int result;
        const char* text;
    } cases[] = {
        {pf::kRegDword, std::string("\x2A\0\0\0", 4), 0, "previous"},
        {pf::kRegBinary, "text", 0, "previous"},
        {pf::kRegExpandSz, std::string("%HOME%\\bin\0", 11), 1, "%HOME%\\bin"}, // read unexpanded
        {pf::kRegSz, "abcdefgh", 1, "abcdefgh"}, // unterminated: ends at the value's own last byte
        {pf::kRegSz, std::string("ab\0cd", 5), 1, "ab"},
        {pf::kRegSz, "", 0, "previous"}, // a string value of no bytes counts as missing
    };
    CScopedRegistry registry;
    for (const auto& c : cases) {
        StoreRaw(pf::kHKeyCurrentUser, "K", "V", c.type, c.bytes);
        std::string text = "previous";
        EXPECT_EQ(RegistryGetString("HKEY_CURRENT_USER\\K", "V", text), c.result) << c.type << " " << c.bytes;
        EXPECT_EQ(text, c.text);
    }
}

TEST(RegistryStrings, BadPathsFailForEveryOperation) {
    CScopedRegistry registry;
    std::string text;
    unsigned char buffer[4];
    std::uint32_t count = sizeof(buffer);
    for (const char* path : {"HKEY_CURRENT_USER", "hkey_current_user\\A", "HKEY_PERFORMANCE_DATA\\A"}) {
        EXPECT_EQ(RegistrySetString(path, "V", "x"), 0) << path;
        EXPECT_EQ(RegistrySetBinary(path, "V", buffer, 1), 0) << path;
        EXPECT_EQ(RegistryGetString(path, "V", text), 0) << path;
        EXPECT_EQ(RegistryGetBinary(path, "V", buffer, count), 0) << path;
    }
    EXPECT_EQ(RegistrySetString(nullptr, "V", "x"), 0);
    EXPECT_EQ(RegistrySetString(kKeyPath, "V", nullptr), 0);
    EXPECT_TRUE(ReadFile(registry.Path()).empty()); // nothing was written anywhere
}

TEST(RegistryBinary, RoundTripKeepsEveryByteAndReplacesOtherTypes) {
    CScopedRegistry registry;
    ASSERT_EQ(RegistrySetString(kKeyPath, "Key0", "a string first"), 1);
    unsigned char data[64];
    for (unsigned i = 0; i < sizeof(data); ++i) {
        data[i] = static_cast<unsigned char>(i * 37 + 1);
    }
    data[10] = 0;
    ASSERT_EQ(RegistrySetBinary(kKeyPath, "Key0", data, sizeof(data)), 1);
    unsigned char out[128] = {};
    std::uint32_t count = sizeof(out);
    ASSERT_EQ(RegistryGetBinary(kKeyPath, "Key0", out, count), 1);
    EXPECT_EQ(count, sizeof(data));
    EXPECT_EQ(std::memcmp(out, data, sizeof(data)), 0);
    std::uint32_t type = 0;
    LoadRaw(pf::kHKeyCurrentUser, kSubKey, "Key0", &type);
    EXPECT_EQ(type, pf::kRegBinary);
    std::string text = "previous";
    EXPECT_EQ(RegistryGetString(kKeyPath, "Key0", text), 0);
    EXPECT_EQ(text, "previous");
    // Any type is read.
    StoreRaw(pf::kHKeyLocalMachine, "K", "Count", pf::kRegDword, std::string("\x2A\0\0\0", 4));
    count = sizeof(out);
    ASSERT_EQ(RegistryGetBinary("HKEY_LOCAL_MACHINE\\K", "Count", out, count), 1);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(out[0], 0x2A);
}

TEST(RegistryBinary, SizesEmptyAndMissingValues) {
    CScopedRegistry registry;
    const unsigned char data[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    ASSERT_EQ(RegistrySetBinary(kKeyPath, "Key", data, sizeof(data)), 1);
    // Too small a buffer fails, stays untouched and learns the size needed.
    unsigned char small[12];
    std::memset(small, 0xEE, sizeof(small));
    std::uint32_t count = sizeof(small);
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "Key", small, count), 0);
    EXPECT_EQ(count, 13u);
    EXPECT_EQ(small[0], 0xEE);
    unsigned char out[13];
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "Key", out, count), 1);
    EXPECT_EQ(std::memcmp(out, data, sizeof(data)), 0);
    // No buffer: the size of the value is reported.
    count = 0;
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "Key", nullptr, count), 1);
    EXPECT_EQ(count, 13u);
    ASSERT_EQ(RegistrySetBinary(kKeyPath, "Nothing", nullptr, 0), 1);
    count = sizeof(out);
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "Nothing", out, count), 1);
    EXPECT_EQ(count, 0u);
    count = sizeof(out);
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "Missing", out, count), 0);
    EXPECT_EQ(RegistrySetBinary(kKeyPath, "Bad", nullptr, 3), 0);
}

TEST(RegistryStore, CorruptStoreFailsEverythingAndStaysUnchanged) {
    CScopedRegistry registry;
    std::mt19937 random(7);
    std::string garbage;
    for (int i = 0; i < 5000; ++i) {
        garbage.push_back(static_cast<char>(random() & 0xFF));
    }
    airvane::test::WriteFile(registry.Path(), garbage);
    std::string text = "previous";
    unsigned char out[8];
    std::uint32_t count = sizeof(out);
    EXPECT_EQ(RegistrySetString(kKeyPath, "V", "x"), 0);
    EXPECT_EQ(RegistrySetBinary(kKeyPath, "V", out, 1), 0);
    EXPECT_EQ(RegistryGetString(kKeyPath, "V", text), 0);
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "V", out, count), 0);
    EXPECT_EQ(text, "previous");
    EXPECT_TRUE(ReadFile(registry.Path()) == garbage);
}

} // namespace
