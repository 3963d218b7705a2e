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
using airvane::test::WriteFile;

constexpr const char* kKeyPath = "HKEY_CURRENT_USER\\Software\\Airvane\\Keys";

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

// ---------------------------------------------------------------------------------------
// Path parsing

TEST(RegistryParsePath, EveryRootName) {
    const struct {
        const char* name;
        std::uint32_t handle;
    } roots[] = {{"HKEY_CLASSES_ROOT", 0x80000000u},   {"HKEY_CURRENT_USER", 0x80000001u},
                 {"HKEY_LOCAL_MACHINE", 0x80000002u},  {"HKEY_USERS", 0x80000003u},
                 {"HKEY_CURRENT_CONFIG", 0x80000005u}, {"HKEY_DYN_DATA", 0x80000006u}};
    for (const auto& root : roots) {
        std::uint32_t handle = 0;
        std::string subKey;
        EXPECT_EQ(RegistryParsePath((std::string(root.name) + "\\Sub\\Key").c_str(), handle, subKey), 1)
            << root.name;
        EXPECT_EQ(handle, root.handle);
        EXPECT_EQ(subKey, "Sub\\Key");
    }
}

TEST(RegistryParsePath, OnlyTheFirstSeparatorSplits) {
    std::uint32_t root = 0;
    std::string subKey;
    ASSERT_EQ(RegistryParsePath("HKEY_CURRENT_USER\\A\\B\\C", root, subKey), 1);
    EXPECT_EQ(root, pf::kHKeyCurrentUser);
    EXPECT_EQ(subKey, "A\\B\\C");
    ASSERT_EQ(RegistryParsePath("HKEY_LOCAL_MACHINE\\", root, subKey), 1);
    EXPECT_EQ(root, pf::kHKeyLocalMachine);
    EXPECT_EQ(subKey, "");
}

TEST(RegistryParsePath, RootAloneFailsWithoutTouchingTheRoot) {
    std::uint32_t root = 12345;
    std::string subKey = "old";
    EXPECT_EQ(RegistryParsePath("HKEY_CURRENT_USER", root, subKey), 0);
    EXPECT_EQ(root, 12345u);
    EXPECT_EQ(subKey, "HKEY_CURRENT_USER"); // the path was copied before the search
    EXPECT_EQ(RegistryParsePath("", root, subKey), 0);
    EXPECT_EQ(RegistryParsePath(nullptr, root, subKey), 0);
    EXPECT_EQ(root, 12345u);
}

TEST(RegistryParsePath, UnknownRootNamesFail) {
    for (const char* path :
         {"hkey_current_user\\A", "HKEY_Current_User\\A", "HKEY_PERFORMANCE_DATA\\A", "HKCU\\A",
          "\\HKEY_CURRENT_USER\\A", " HKEY_CURRENT_USER\\A", "HKEY_CURRENT_USER \\A"}) {
        std::uint32_t root = 12345;
        std::string subKey;
        EXPECT_EQ(RegistryParsePath(path, root, subKey), 0) << path;
        EXPECT_EQ(root, 0u) << path; // reset before the table search
    }
}

// ---------------------------------------------------------------------------------------
// Strings

TEST(RegistryStrings, RoundTripAndStoredBytes) {
    CScopedRegistry registry;
    ASSERT_EQ(RegistrySetString(kKeyPath, "Label", "hello"), 1);
    std::string text;
    ASSERT_EQ(RegistryGetString(kKeyPath, "Label", text), 1);
    EXPECT_EQ(text, "hello");
    // Five characters are stored as six bytes, with the terminating zero, as a plain string.
    std::uint32_t type = 0;
    EXPECT_EQ(LoadRaw(pf::kHKeyCurrentUser, "Software\\Airvane\\Keys", "Label", &type),
              std::string("hello\0", 6));
    EXPECT_EQ(type, pf::kRegSz);
    unsigned char buffer[16];
    std::uint32_t count = sizeof(buffer);
    ASSERT_EQ(RegistryGetBinary(kKeyPath, "Label", buffer, count), 1);
    EXPECT_EQ(count, 6u);
}

TEST(RegistryStrings, PathAddressesTheSubkeyBelowTheRoot) {
    CScopedRegistry registry;
    ASSERT_EQ(RegistrySetString("HKEY_CURRENT_USER\\A\\B\\C", "V", "abc"), 1);
    EXPECT_EQ(LoadRaw(pf::kHKeyCurrentUser, "A\\B\\C", "V"), std::string("abc\0", 4));
    EXPECT_EQ(LoadRaw(pf::kHKeyLocalMachine, "A\\B\\C", "V"), "<no key>");
    std::string text;
    EXPECT_EQ(RegistryGetString("HKEY_CURRENT_USER\\A\\B", "V", text), 0);
    // Key paths and value names ignore case, as on the system whose paths these are.
    EXPECT_EQ(RegistryGetString("HKEY_CURRENT_USER\\a\\b\\c", "v", text), 1);
    EXPECT_EQ(text, "abc");
}

TEST(RegistryStrings, EmptyStringIsAValue) {
    CScopedRegistry registry;
    ASSERT_EQ(RegistrySetString(kKeyPath, "Empty", ""), 1);
    std::string text = "previous";
    EXPECT_EQ(RegistryGetString(kKeyPath, "Empty", text), 1);
    EXPECT_EQ(text, "");
}

TEST(RegistryStrings, NonStringTypesFailAndKeepTheOutput) {
    CScopedRegistry registry;
    StoreRaw(pf::kHKeyCurrentUser, "Software\\Airvane\\Keys", "Count", pf::kRegDword,
             std::string("\x2A\0\0\0", 4));
    ASSERT_EQ(RegistrySetBinary(kKeyPath, "Blob", reinterpret_cast<const unsigned char*>("text"), 4), 1);
    std::string text = "previous";
    EXPECT_EQ(RegistryGetString(kKeyPath, "Count", text), 0);
    EXPECT_EQ(text, "previous");
    EXPECT_EQ(RegistryGetString(kKeyPath, "Blob", text), 0);
    EXPECT_EQ(text, "previous");
}

TEST(RegistryStrings, ExpandableStringIsReadUnexpanded) {
    CScopedRegistry registry;
    StoreRaw(pf::kHKeyCurrentUser, "Env", "Path", pf::kRegExpandSz, std::string("%HOME%\\bin\0", 11));
    std::string text;
    ASSERT_EQ(RegistryGetString("HKEY_CURRENT_USER\\Env", "Path", text), 1);
    EXPECT_EQ(text, "%HOME%\\bin");
}

TEST(RegistryStrings, UnterminatedValueEndsAtItsLastByte) {
    CScopedRegistry registry;
    // Stored without a terminating zero; reading must stop at the value's own bytes.
    StoreRaw(pf::kHKeyCurrentUser, "K", "Bare", pf::kRegSz, "abcdefgh");
    StoreRaw(pf::kHKeyCurrentUser, "K", "Inner", pf::kRegSz, std::string("ab\0cd", 5));
    StoreRaw(pf::kHKeyCurrentUser, "K", "Hollow", pf::kRegSz, "");
    std::string text;
    ASSERT_EQ(RegistryGetString("HKEY_CURRENT_USER\\K", "Bare", text), 1);
    EXPECT_EQ(text, "abcdefgh");
    ASSERT_EQ(RegistryGetString("HKEY_CURRENT_USER\\K", "Inner", text), 1);
    EXPECT_EQ(text, "ab");
    // A string value of no bytes at all counts as missing.
    text = "previous";
    EXPECT_EQ(RegistryGetString("HKEY_CURRENT_USER\\K", "Hollow", text), 0);
    EXPECT_EQ(text, "previous");
}

TEST(RegistryStrings, MissingKeysAndValuesFail) {
    CScopedRegistry registry;
    std::string text = "previous";
    EXPECT_EQ(RegistryGetString(kKeyPath, "Label", text), 0); // no store at all
    EXPECT_FALSE(ReadFile(registry.Path()).size() > 0);
    ASSERT_EQ(RegistrySetString(kKeyPath, "Label", "x"), 1);
    EXPECT_EQ(RegistryGetString(kKeyPath, "Other", text), 0);
    EXPECT_EQ(RegistryGetString("HKEY_CURRENT_USER\\Software\\Missing", "Label", text), 0);
    EXPECT_EQ(text, "previous");
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

// ---------------------------------------------------------------------------------------
// Binary values

TEST(RegistryBinary, RoundTripKeepsEveryByte) {
    CScopedRegistry registry;
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
    LoadRaw(pf::kHKeyCurrentUser, "Software\\Airvane\\Keys", "Key0", &type);
    EXPECT_EQ(type, pf::kRegBinary);
}

TEST(RegistryBinary, TooSmallBufferFailsAndReportsTheSizeNeeded) {
    CScopedRegistry registry;
    const unsigned char data[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    ASSERT_EQ(RegistrySetBinary(kKeyPath, "Key", data, sizeof(data)), 1);
    unsigned char out[12];
    std::memset(out, 0xEE, sizeof(out));
    std::uint32_t count = sizeof(out);
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "Key", out, count), 0);
    EXPECT_EQ(count, 13u);
    EXPECT_EQ(out[0], 0xEE);
    // With the size it was told, the read succeeds.
    unsigned char exact[13];
    count = sizeof(exact);
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "Key", exact, count), 1);
    EXPECT_EQ(std::memcmp(exact, data, sizeof(data)), 0);
}

TEST(RegistryBinary, AnyTypeIsRead) {
    CScopedRegistry registry;
    StoreRaw(pf::kHKeyLocalMachine, "K", "Count", pf::kRegDword, std::string("\x2A\0\0\0", 4));
    unsigned char out[4] = {};
    std::uint32_t count = sizeof(out);
    ASSERT_EQ(RegistryGetBinary("HKEY_LOCAL_MACHINE\\K", "Count", out, count), 1);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(out[0], 0x2A);
}

TEST(RegistryBinary, EmptyAndMissingValues) {
    CScopedRegistry registry;
    ASSERT_EQ(RegistrySetBinary(kKeyPath, "Nothing", nullptr, 0), 1);
    unsigned char out[4];
    std::uint32_t count = sizeof(out);
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "Nothing", out, count), 1);
    EXPECT_EQ(count, 0u);
    count = sizeof(out);
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "Missing", out, count), 0);
    EXPECT_EQ(RegistrySetBinary(kKeyPath, "Bad", nullptr, 3), 0);
    // No buffer: the size of the value is reported.
    ASSERT_EQ(RegistrySetBinary(kKeyPath, "Five", reinterpret_cast<const unsigned char*>("12345"), 5), 1);
    count = 0;
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "Five", nullptr, count), 1);
    EXPECT_EQ(count, 5u);
}

TEST(RegistryBinary, RewriteReplacesTheValue) {
    CScopedRegistry registry;
    ASSERT_EQ(RegistrySetString(kKeyPath, "V", "a string first"), 1);
    const unsigned char data[2] = {0xAA, 0xBB};
    ASSERT_EQ(RegistrySetBinary(kKeyPath, "V", data, 2), 1);
    unsigned char out[32];
    std::uint32_t count = sizeof(out);
    ASSERT_EQ(RegistryGetBinary(kKeyPath, "V", out, count), 1);
    EXPECT_EQ(count, 2u);
    std::string text = "previous";
    EXPECT_EQ(RegistryGetString(kKeyPath, "V", text), 0);
    EXPECT_EQ(text, "previous");
}

TEST(RegistryStore, CorruptStoreFailsEverythingAndStaysUnchanged) {
    CScopedRegistry registry;
    std::mt19937 random(7);
    std::string garbage;
    for (int i = 0; i < 5000; ++i) {
        garbage.push_back(static_cast<char>(random() & 0xFF));
    }
    WriteFile(registry.Path(), garbage);
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
