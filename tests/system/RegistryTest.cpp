#include "airvane/system/Registry.h"

#include "tests/platform/RegistryStoreAccess.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

namespace pf = airvane::platform;
using namespace airvane::test;

constexpr const char* kKeyPath = "HKEY_CURRENT_USER\\Software\\Airvane\\Keys";
constexpr const char* kSubKey = "Software\\Airvane\\Keys";

TEST(RegistryParsePath, SplitsAtTheFirstSeparatorAfterAKnownRootName) {
    constexpr std::uint32_t kUntouched = 12345;
    const struct {
        const char* path;
        int result;
        std::uint32_t root;
        const char* subKey; // null: not looked at
    } cases[] = {
        // clang-format off
        {"HKEY_CLASSES_ROOT\\S\\K", 1, 0x80000000u, "S\\K"}, {"HKEY_CURRENT_USER\\S", 1, 0x80000001u, "S"},
        {"HKEY_LOCAL_MACHINE\\S\\K", 1, 0x80000002u, "S\\K"}, {"HKEY_USERS\\S\\K", 1, 0x80000003u, "S\\K"},
        {"HKEY_CURRENT_CONFIG\\S\\K", 1, 0x80000005u, "S\\K"}, {"HKEY_DYN_DATA\\S", 1, 0x80000006u, "S"},
        {"HKEY_CURRENT_USER\\A\\B\\C", 1, 0x80000001u, "A\\B\\C"}, {"HKEY_USERS\\", 1, 0x80000003u, ""},
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
#if !defined(_WIN32)
    EXPECT_TRUE(ReadFile(registry.Path()).empty()); // and reading made none
#endif
    ASSERT_EQ(RegistrySetString(kKeyPath, "Label", "hello"), 1);
    ASSERT_EQ(RegistryGetString(kKeyPath, "Label", text), 1);
    EXPECT_EQ(text, "hello");
    // Five characters are stored as six bytes, with the terminating zero, as a plain string.
    const stLoadedValue raw = LoadValue(pf::kHKeyCurrentUser, kSubKey, "Label");
    EXPECT_EQ(raw.bytes, std::string("hello\0", 6));
    EXPECT_EQ(raw.type, pf::kRegSz);
    unsigned char buffer[16];
    std::uint32_t count = sizeof(buffer);
    ASSERT_EQ(RegistryGetBinary(kKeyPath, "Label", buffer, count), 1);
    EXPECT_EQ(count, 6u);
    ASSERT_EQ(RegistrySetString(kKeyPath, "Empty", ""), 1);
    EXPECT_EQ(RegistryGetString(kKeyPath, "Empty", text), 1);
    EXPECT_EQ(text, "");

    ASSERT_EQ(RegistrySetString("HKEY_CURRENT_USER\\A\\B\\C", "V", "abc"), 1);
    EXPECT_EQ(LoadValue(pf::kHKeyCurrentUser, "A\\B\\C", "V").bytes, std::string("abc\0", 4));
    EXPECT_EQ(LoadValue(pf::kHKeyLocalMachine, "A\\B\\C", "V").result, pf::RegResult::NotFound);
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
        ASSERT_EQ(StoreValue(pf::kHKeyCurrentUser, "K", "V", c.type, c.bytes), pf::RegResult::Success);
        std::string text = "previous";
        EXPECT_EQ(RegistryGetString("HKEY_CURRENT_USER\\K", "V", text), c.result) << c.type << " " << c.bytes;
        EXPECT_EQ(text, c.text);
    }
}

TEST(RegistryBinary, KeepsEveryByteReportsSizesAndReadsAnyType) {
    CScopedRegistry registry;
    ASSERT_EQ(RegistrySetString(kKeyPath, "Key0", "a string first"), 1);
    unsigned char data[64];
    for (unsigned i = 0; i < sizeof(data); ++i) {
        data[i] = static_cast<unsigned char>(i * 37 + 1);
    }
    data[10] = 0;
    ASSERT_EQ(RegistrySetBinary(kKeyPath, "Key0", data, sizeof(data)), 1);
    // The binary value replaced the string, so it is no longer read as text.
    EXPECT_EQ(LoadValue(pf::kHKeyCurrentUser, kSubKey, "Key0").type, pf::kRegBinary);
    std::string text = "previous";
    EXPECT_EQ(RegistryGetString(kKeyPath, "Key0", text), 0);
    EXPECT_EQ(text, "previous");
    // Too small a buffer fails, stays untouched and learns the size needed; that size then reads.
    unsigned char out[128];
    std::memset(out, 0xEE, sizeof(out));
    std::uint32_t count = sizeof(data) - 1;
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "Key0", out, count), 0);
    EXPECT_EQ(count, sizeof(data));
    EXPECT_EQ(out[0], 0xEE);
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "Key0", out, count), 1);
    EXPECT_EQ(std::memcmp(out, data, sizeof(data)), 0);
    // A larger buffer gets the stored count; no buffer gets the size.
    count = sizeof(out);
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "Key0", out, count), 1);
    EXPECT_EQ(count, sizeof(data));
    count = 0;
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "Key0", nullptr, count), 1);
    EXPECT_EQ(count, sizeof(data));
    // An empty value reads as zero bytes; a missing one fails.
    ASSERT_EQ(RegistrySetBinary(kKeyPath, "Nothing", nullptr, 0), 1);
    count = sizeof(out);
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "Nothing", out, count), 1);
    EXPECT_EQ(count, 0u);
    count = sizeof(out);
    EXPECT_EQ(RegistryGetBinary(kKeyPath, "Missing", out, count), 0);
    // Any type is read.
    ASSERT_EQ(StoreValue(pf::kHKeyLocalMachine, "K", "Count", pf::kRegDword, std::string("\x2A\0\0\0", 4)),
              pf::RegResult::Success);
    count = sizeof(out);
    ASSERT_EQ(RegistryGetBinary("HKEY_LOCAL_MACHINE\\K", "Count", out, count), 1);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(out[0], 0x2A);
}

} // namespace
