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

bool Parse(const std::string& text, stSimNetworkBlock& block, std::string& error) {
    return ParseNetworkBlock(text.c_str(), block, &error);
}

TEST(NetworkBlockTest, ReadsPassphraseBlock) {
    stSimNetworkBlock block;
    std::string error;
    ASSERT_TRUE(Parse(LibraryBlock("Home Net", "\"correct horse\""), block, error)) << error;
    EXPECT_EQ(block.ssid, "Home Net");
    EXPECT_TRUE(block.hasPassphrase);
    EXPECT_FALSE(block.hasKey);
    EXPECT_EQ(block.passphrase, "correct horse");
    EXPECT_EQ(block.priority, 1);
    EXPECT_EQ(block.keyManagement, "WPA-PSK");
}

TEST(NetworkBlockTest, ReadsRawKeyInEitherCase) {
    std::string hex;
    for (int i = 0; i < 32; ++i) {
        static const char* digits = "0123456789ABCDEF";
        hex += digits[(i * 7) % 16];
        hex += digits[i % 16];
    }
    stSimNetworkBlock block;
    std::string error;
    ASSERT_TRUE(Parse(LibraryBlock("Key", hex), block, error)) << error;
    EXPECT_TRUE(block.hasKey);
    EXPECT_FALSE(block.hasPassphrase);
    EXPECT_EQ(block.key[0], 0x00);
    EXPECT_EQ(block.key[1], 0x71);
    EXPECT_EQ(block.key[31], 0x9F);

    std::string lower = hex;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    stSimNetworkBlock lowerBlock;
    ASSERT_TRUE(Parse(LibraryBlock("Key", lower), lowerBlock, error)) << error;
    EXPECT_EQ(0, std::memcmp(block.key, lowerBlock.key, sizeof block.key));
}

TEST(NetworkBlockTest, AcceptsHexSSIDCommentsAndMissingOptionalFields) {
    stSimNetworkBlock block;
    std::string error;
    ASSERT_TRUE(
        Parse("# comment\n\nnetwork={\r\n  ssid=41422d43\r\n  psk=\"12345678\"\r\n}\r\n", block, error))
        << error;
    EXPECT_EQ(block.ssid, "AB-C");
    EXPECT_EQ(block.priority, 0);
    EXPECT_EQ(block.keyManagement, "WPA-PSK");
}

TEST(NetworkBlockTest, KeepsQuotesInsideSSID) {
    stSimNetworkBlock block;
    std::string error;
    ASSERT_TRUE(Parse(LibraryBlock("say \"hi\"", "\"12345678\""), block, error)) << error;
    EXPECT_EQ(block.ssid, "say \"hi\"");
}

TEST(NetworkBlockTest, RejectsMalformedBlocks) {
    const std::string good = LibraryBlock("Net", "\"12345678\"");
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"no opening line", "ssid=\"Net\"\npsk=\"12345678\"\n}\n"},
        {"missing brace", "network={\nssid=\"Net\"\npsk=\"12345678\"\n"},
        {"text after block", good + "ssid=\"x\"\n"},
        {"missing ssid", "network={\npsk=\"12345678\"\n}\n"},
        {"missing psk", "network={\nssid=\"Net\"\n}\n"},
        {"unknown field", "network={\nssid=\"Net\"\npsk=\"12345678\"\nbssid=00:11\n}\n"},
        {"field twice", "network={\nssid=\"Net\"\nssid=\"Net\"\npsk=\"12345678\"\n}\n"},
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
        {"bad priority", "network={\nssid=\"Net\"\npsk=\"12345678\"\npriority=x\n}\n"},
        {"eap only", "network={\nssid=\"Net\"\npsk=\"12345678\"\nkey_mgmt=WPA-EAP\n}\n"},
        {"unknown key mgmt", "network={\nssid=\"Net\"\npsk=\"12345678\"\nkey_mgmt=WPA-PSK FOO\n}\n"},
        {"empty key mgmt", "network={\nssid=\"Net\"\npsk=\"12345678\"\nkey_mgmt=\n}\n"},
    };
    for (const auto& c : cases) {
        stSimNetworkBlock block;
        std::string error;
        EXPECT_FALSE(Parse(c.text, block, error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
}

TEST(NetworkBlockTest, AcceptsPassphraseLengthLimitsAndKeyManagementList) {
    stSimNetworkBlock block;
    std::string error;
    EXPECT_TRUE(Parse(LibraryBlock("Net", "\"12345678\""), block, error)) << error;
    EXPECT_TRUE(Parse(LibraryBlock("Net", "\"" + std::string(63, 'p') + "\""), block, error)) << error;
    EXPECT_TRUE(
        Parse("network={\nssid=\"Net\"\npsk=\"12345678\"\nkey_mgmt=WPA-EAP WPA-PSK\n}\n", block, error))
        << error;
}

TEST(NetworkBlockTest, NullTextFailsWithoutTouchingTheBlock) {
    stSimNetworkBlock block;
    block.ssid = "kept";
    EXPECT_FALSE(ParseNetworkBlock(nullptr, block, nullptr));
    EXPECT_EQ(block.ssid, "kept");
}

} // namespace
} // namespace airvane::sim
