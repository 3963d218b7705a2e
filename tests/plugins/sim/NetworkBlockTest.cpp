#include "plugins/sim/supplicant/NetworkBlock.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

namespace airvane::sim {
namespace {

// The block exactly as the library's WPA-PSK method writes it.
std::string LibraryBlock(const std::string& ssid, const std::string& psk) {
    return "network={\n\t\t\t\t\tssid=\"" + ssid + "\"\n\t\t\t\t\tpsk=" + psk +
           "\n\t\t\t\t\tpriority=1\n\t\t\t\t\tkey_mgmt=WPA-PSK\n\t\t\t\t\t}\n";
}

std::string Minimal(const std::string& extraLine) {
    return "network={\nssid=\"Net\"\npsk=\"12345678\"\n" + extraLine + "}\n";
}

constexpr const char* kKeyHex = "0071E253C435A61788F96ADB4CBD2E9F0071E253C435A61788F96ADB4CBD2E9F";

TEST(NetworkBlockTest, ReadsValidBlocks) {
    std::string lowerKey = kKeyHex;
    for (char& c : lowerKey) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const std::string long63(63, 'p');
    const struct {
        std::string text;
        const char* ssid;
        const char* passphrase; // null: a raw key (kKeyHex)
        int priority;
        const char* keyManagement; // null: not checked
    } cases[] = {
        {LibraryBlock("Home Net", "\"correct horse\""), "Home Net", "correct horse", 1, "WPA-PSK"},
        {LibraryBlock("Key", kKeyHex), "Key", nullptr, 1, "WPA-PSK"},
        {LibraryBlock("Key", lowerKey), "Key", nullptr, 1, "WPA-PSK"},
        // Hex SSID, comments, blank and CRLF lines; priority and key management are optional.
        {"# comment\n\nnetwork={\r\n  ssid=41422d43\r\n  psk=\"12345678\"\r\n}\r\n", "AB-C", "12345678", 0,
         "WPA-PSK"},
        {LibraryBlock("say \"hi\"", "\"12345678\""), "say \"hi\"", "12345678", 1, "WPA-PSK"},
        {LibraryBlock("Net", "\"" + long63 + "\""), "Net", long63.c_str(), 1, "WPA-PSK"},
        {Minimal("key_mgmt=WPA-EAP WPA-PSK\n"), "Net", "12345678", 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        stSimNetworkBlock block;
        std::string error;
        ASSERT_TRUE(ParseNetworkBlock(c.text.c_str(), block, &error)) << error;
        EXPECT_EQ(block.ssid, c.ssid);
        EXPECT_EQ(block.priority, c.priority);
        if (c.keyManagement != nullptr) {
            EXPECT_EQ(block.keyManagement, c.keyManagement);
        }
        EXPECT_EQ(block.hasPassphrase, c.passphrase != nullptr);
        EXPECT_EQ(block.hasKey, c.passphrase == nullptr);
        if (c.passphrase != nullptr) {
            EXPECT_EQ(block.passphrase, c.passphrase);
        } else {
            const std::uint8_t expected[] = {0x00, 0x71, 0xE2, 0x53, 0xC4, 0x35, 0xA6, 0x17, 0x88, 0xF9, 0x6A,
                                             0xDB, 0x4C, 0xBD, 0x2E, 0x9F, 0x00, 0x71, 0xE2, 0x53, 0xC4, 0x35,
                                             0xA6, 0x17, 0x88, 0xF9, 0x6A, 0xDB, 0x4C, 0xBD, 0x2E, 0x9F};
            EXPECT_EQ(0, std::memcmp(block.key, expected, sizeof expected));
        }
    }
}

TEST(NetworkBlockTest, RejectsMalformedBlocks) {
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"no opening line", "ssid=\"Net\"\npsk=\"12345678\"\n}\n"},
        {"missing brace", "network={\nssid=\"Net\"\npsk=\"12345678\"\n"},
        {"text after block", LibraryBlock("Net", "\"12345678\"") + "ssid=\"x\"\n"},
        {"missing ssid", "network={\npsk=\"12345678\"\n}\n"},
        {"missing psk", "network={\nssid=\"Net\"\n}\n"},
        {"unknown field", Minimal("bssid=00:11\n")},
        {"field twice", Minimal("ssid=\"Net\"\n")},
        {"no equals", "network={\nssid \"Net\"\npsk=\"12345678\"\n}\n"},
        {"empty ssid", LibraryBlock("", "\"12345678\"")},
        {"ssid too long", LibraryBlock(std::string(33, 's'), "\"12345678\"")},
        {"unterminated ssid", "network={\nssid=\"Net\npsk=\"12345678\"\n}\n"},
        {"odd hex ssid", "network={\nssid=414\npsk=\"12345678\"\n}\n"},
        {"zero byte in ssid", "network={\nssid=4100\npsk=\"12345678\"\n}\n"},
        {"short pass phrase", LibraryBlock("Net", "\"1234567\"")},
        {"long pass phrase", LibraryBlock("Net", "\"" + std::string(64, 'p') + "\"")},
        {"control character", LibraryBlock("Net", "\"1234\t5678\"")},
        {"short hex key", LibraryBlock("Net", std::string(62, 'a'))},
        {"bad hex key", LibraryBlock("Net", std::string(63, 'a') + "g")},
        {"unquoted pass phrase", LibraryBlock("Net", "12345678")},
        {"bad priority", Minimal("priority=x\n")},
        {"eap only", Minimal("key_mgmt=WPA-EAP\n")},
        {"unknown key mgmt", Minimal("key_mgmt=WPA-PSK FOO\n")},
        {"empty key mgmt", Minimal("key_mgmt=\n")},
    };
    for (const auto& c : cases) {
        stSimNetworkBlock block;
        std::string error;
        EXPECT_FALSE(ParseNetworkBlock(c.text.c_str(), block, &error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
    stSimNetworkBlock block;
    block.ssid = "kept";
    EXPECT_FALSE(ParseNetworkBlock(nullptr, block, nullptr));
    EXPECT_EQ(block.ssid, "kept") << "a null text leaves the block alone";
}

} // namespace
} // namespace airvane::sim
