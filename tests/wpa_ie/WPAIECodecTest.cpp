#include "airvane/security/WPASecureMethod.h"
#include "airvane/wpa_ie/WPAIEFlags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Codec = CWLANWPAGenSecureMethod;

constexpr unsigned long kSentinel = 0x80000000UL; // a bit the codec never touches
constexpr unsigned long kFails = ~0UL;            // marks a case whose parse must fail
constexpr unsigned long kWPADefaults =
    WPAIE_PROTO_WPA | WPAIE_GROUP_TKIP | WPAIE_PAIRWISE_TKIP | WPAIE_AKM_8021X;
constexpr unsigned long kRSNDefaults =
    WPAIE_PROTO_RSN | WPAIE_GROUP_CCMP | WPAIE_PAIRWISE_CCMP | WPAIE_AKM_8021X;
constexpr unsigned long kWPAFull = WPAIE_PROTO_WPA | WPAIE_GROUP_TKIP | WPAIE_PAIRWISE_TKIP | WPAIE_AKM_PSK;
constexpr unsigned long kRSNFull = WPAIE_PROTO_RSN | WPAIE_GROUP_CCMP | WPAIE_PAIRWISE_CCMP | WPAIE_AKM_PSK;

// Bytes from hex digits; spaces are ignored.
Bytes Hex(const std::string& text) {
    Bytes bytes;
    std::string digits;
    std::copy_if(text.begin(), text.end(), std::back_inserter(digits), [](char c) { return c != ' '; });
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        bytes.push_back(static_cast<unsigned char>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// An element from its id and body in hex, with the matching length byte inserted.
Bytes IE(const std::string& text) {
    Bytes ie = Hex(text);
    ie.insert(ie.begin() + 1, static_cast<unsigned char>(ie.size() - 1));
    return ie;
}

// Full elements (TKIP/TKIP/PSK, and CCMP/CCMP/PSK with capabilities) as generated.
const std::string kWPAFullHex = "DD 0050F201 0100 0050F202 0100 0050F202 0100 0050F202";
const std::string kRSNFullHex = "30 0100 000FAC04 0100 000FAC04 0100 000FAC02 0000";

// Parses `ie` into a word that starts as kSentinel; failures must leave the word alone.
void ExpectParse(const Bytes& ie, unsigned long expected) {
    unsigned long flags = kSentinel; // flags are added to the caller's word
    EXPECT_EQ(expected == kFails ? 0 : 1,
              Codec::WPAParseIEinfo(ie.data(), static_cast<unsigned int>(ie.size()), flags));
    EXPECT_EQ(expected == kFails ? kSentinel : (kSentinel | expected), flags);
}

TEST(WPAIEParse, SuitesMapToFlags) {
    const std::pair<std::string, unsigned long> cases[] = {
        {"DD 0050F201 0100", kWPADefaults},
        {"30 0100", kRSNDefaults},
        {kWPAFullHex, kWPAFull},
        {kRSNFullHex, kRSNFull},
        {kWPAFullHex + "0000", kWPAFull}, // with capabilities
        {kRSNFullHex + "ABCD", kRSNFull}, // RSN ignores bytes after the capabilities
        {"DD 0050F201 0100 0050F201 0400 0050F200 0050F205 0050F202 0050F204 0200 0050F201 0050F202 0C00",
         WPAIE_PROTO_WPA | WPAIE_GROUP_WEP | WPAIE_PAIRWISE_NONE | WPAIE_PAIRWISE_WEP | WPAIE_PAIRWISE_TKIP |
             WPAIE_PAIRWISE_CCMP | WPAIE_AKM_8021X | WPAIE_AKM_PSK},
        {"30 0100 000FAC00", WPAIE_PROTO_RSN | WPAIE_GROUP_NONE | WPAIE_PAIRWISE_CCMP | WPAIE_AKM_8021X},
        {"30 0100 000FAC05", WPAIE_PROTO_RSN | WPAIE_GROUP_WEP | WPAIE_PAIRWISE_CCMP | WPAIE_AKM_8021X},
        // Unknown and foreign selectors contribute nothing; an unknown-only list clears the default.
        {"DD 0050F201 0100 0050F203", WPAIE_PROTO_WPA | WPAIE_PAIRWISE_TKIP | WPAIE_AKM_8021X},
        {"DD 0050F201 0100 000FAC04", WPAIE_PROTO_WPA | WPAIE_PAIRWISE_TKIP | WPAIE_AKM_8021X},
        {"30 0100 000FAC04 0100 000FAC02 0100 000FAC07",
         WPAIE_PROTO_RSN | WPAIE_GROUP_CCMP | WPAIE_PAIRWISE_TKIP},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        ExpectParse(IE(c.first), c.second);
    }
}

TEST(WPAIEParse, BadHeadersCountsAndTrailersFail) {
    // Unknown id; WPA OUI, OUI type, versions 2 and 257; RSN versions 0 and 257; pairwise counts
    // 0, beyond the bytes and huge; key management count 0 and a short list; a WPA element
    // with one byte for the capabilities or bytes after them.
    for (const char* c :
         {"31 0100", "DD 0050F301 0100", "DD 0050F202 0100", "DD 0050F201 0200", "DD 0050F201 0101",
          "30 0000", "30 0101", "30 0100 000FAC04 0000", "DD 0050F201 0100 0050F202 0000",
          "30 0100 000FAC04 0200 000FAC04", "30 0100 000FAC04 FFFF 000FAC04",
          "30 0100 000FAC04 0100 000FAC02 0000", "30 0100 000FAC04 0100 000FAC02 0200 000FAC02 00"}) {
        SCOPED_TRACE(c);
        ExpectParse(IE(c), kFails);
    }
    ExpectParse(IE(kWPAFullHex + "00"), kFails);
    ExpectParse(IE(kWPAFullHex + "0000ABCD"), kFails);
    ExpectParse(Hex("DD07 0050F201 0100"), kFails); // length byte too large
    ExpectParse(Hex("3001 0100"), kFails);          // length byte too small
    const Bytes full = IE(kWPAFullHex);
    unsigned long flags = kSentinel;
    EXPECT_EQ(0, Codec::WPAParseIEinfo(full.data(), 0, flags));
    EXPECT_EQ(0, Codec::WPAParseIEinfo(nullptr, 8, flags));
    EXPECT_EQ(0, Codec::WPAParseIEinfo(full.data(), 20, flags)); // the length byte claims more
    EXPECT_EQ(kSentinel, flags);
}

TEST(WPAIEParse, PrefixesParseOnlyAtFieldBoundaries) {
    // Each prefix gets its own heap copy of exactly its size, so the address sanitizer catches
    // any read beyond the given length. RSN ignores a single trailing byte (prefix 21).
    const struct {
        Bytes full;
        std::set<std::size_t> complete;
    } elements[] = {{IE(kWPAFullHex), {8, 12, 18, 24}}, {IE(kRSNFullHex), {4, 8, 14, 20, 21, 22}}};
    for (const auto& element : elements) {
        for (std::size_t n = 1; n <= element.full.size(); ++n) {
            SCOPED_TRACE(n);
            Bytes prefix(element.full.begin(), element.full.begin() + static_cast<long>(n));
            if (n >= 2) {
                prefix[1] = static_cast<unsigned char>(n - 2);
            }
            unsigned long flags = kSentinel;
            const int parsed = Codec::WPAParseIEinfo(prefix.data(), static_cast<unsigned int>(n), flags);
            EXPECT_EQ(element.complete.count(n), static_cast<std::size_t>(parsed));
            EXPECT_EQ(parsed != 0, flags != kSentinel);
        }
    }
}

TEST(WPAIEGenerate, ElementBytesFollowTheOrderOfPreference) {
    const std::pair<unsigned long, std::string> cases[] = {
        {kWPAFull, kWPAFullHex},
        {kRSNFull, kRSNFullHex},
        {kRSNFull | WPAIE_PROTO_WPA, kRSNFullHex}, // both protocols give RSN
        {WPAIE_PROTO_WPA | WPAIE_GROUP_NONE | WPAIE_GROUP_WEP | WPAIE_GROUP_TKIP | WPAIE_GROUP_CCMP |
             WPAIE_PAIRWISE_NONE | WPAIE_PAIRWISE_WEP | WPAIE_PAIRWISE_TKIP | WPAIE_PAIRWISE_CCMP |
             WPAIE_AKM_PSK | WPAIE_AKM_8021X,
         "DD 0050F201 0100 0050F204 0100 0050F204 0100 0050F201"}, // CCMP first, 802.1X before PSK
        {WPAIE_PROTO_WPA | WPAIE_GROUP_WEP | WPAIE_GROUP_TKIP | WPAIE_PAIRWISE_NONE | WPAIE_PAIRWISE_TKIP |
             WPAIE_AKM_PSK,
         kWPAFullHex}, // TKIP before WEP and before none
        {WPAIE_PROTO_WPA | WPAIE_GROUP_WEP | WPAIE_PAIRWISE_NONE | WPAIE_PAIRWISE_WEP | WPAIE_AKM_8021X,
         "DD 0050F201 0100 0050F205 0100 0050F200 0100 0050F201"}, // WEP-104; pairwise WEP never
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        unsigned char buffer[64];
        const int written = Codec::WPAGenerateIEinfo(c.first, buffer, sizeof(buffer));
        EXPECT_EQ(IE(c.second), Bytes(buffer, buffer + std::max(written, 0)));
    }
}

TEST(WPAIEGenerate, UnchosenSelectorsKeepTheBufferBytesAndRefusalsWriteNothing) {
    unsigned char buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    EXPECT_EQ(-1, Codec::WPAGenerateIEinfo(kWPAFull, buffer, 39));
    EXPECT_EQ(-1, Codec::WPAGenerateIEinfo(kWPAFull, buffer, 0));
    EXPECT_EQ(-1, Codec::WPAGenerateIEinfo(kWPAFull & ~WPAIE_PROTO_WPA, buffer, sizeof(buffer)));
    EXPECT_EQ(-1, Codec::WPAGenerateIEinfo(kWPAFull, nullptr, 64));
    EXPECT_TRUE(std::all_of(std::begin(buffer), std::end(buffer), [](unsigned char b) { return b == 0xEE; }));
    EXPECT_EQ(24, Codec::WPAGenerateIEinfo(kWPAFull, buffer, 40));

    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    ASSERT_EQ(22,
              Codec::WPAGenerateIEinfo(WPAIE_PROTO_RSN | WPAIE_PAIRWISE_WEP | WPAIE_GROUP_NONE, buffer, 40));
    EXPECT_EQ(Hex("3014 0100 EEEEEEEE 0100 EEEEEEEE 0100 EEEEEEEE 0000 EE"), Bytes(buffer, buffer + 23));
}

} // namespace
