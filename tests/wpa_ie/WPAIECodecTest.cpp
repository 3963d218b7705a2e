#include "airvane/security/WPASecureMethod.h"
#include "airvane/wpa_ie/WPAIEFlags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Codec = CWLANWPAGenSecureMethod;

constexpr unsigned long kSentinel = 0x80000000UL; // a bit the codec never touches
const std::string kWPAFullHex = "DD 0050F201 0100 0050F202 0100 0050F202 0100 0050F202";
const std::string kRSNFullHex = "30 0100 000FAC04 0100 000FAC04 0100 000FAC02 0000";
const unsigned long kWPAFull = WPAIE_PROTO_WPA | WPAIE_GROUP_TKIP | WPAIE_PAIRWISE_TKIP | WPAIE_AKM_PSK;

// Bytes from hex digits; spaces are ignored.
Bytes Hex(const std::string& text) {
    std::string digits;
    std::copy_if(text.begin(), text.end(), std::back_inserter(digits), [](char c) { return c != ' '; });
    Bytes bytes;
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

unsigned long Flags(const std::string& names) {
    static const std::map<std::string, unsigned long> kNames = {{"GROUP_NONE", WPAIE_GROUP_NONE},
                                                                {"GROUP_WEP", WPAIE_GROUP_WEP},
                                                                {"GROUP_TKIP", WPAIE_GROUP_TKIP},
                                                                {"GROUP_CCMP", WPAIE_GROUP_CCMP},
                                                                {"PAIRWISE_NONE", WPAIE_PAIRWISE_NONE},
                                                                {"PAIRWISE_WEP", WPAIE_PAIRWISE_WEP},
                                                                {"PAIRWISE_TKIP", WPAIE_PAIRWISE_TKIP},
                                                                {"PAIRWISE_CCMP", WPAIE_PAIRWISE_CCMP},
                                                                {"AKM_PSK", WPAIE_AKM_PSK},
                                                                {"AKM_8021X", WPAIE_AKM_8021X},
                                                                {"PROTO_WPA", WPAIE_PROTO_WPA},
                                                                {"PROTO_RSN", WPAIE_PROTO_RSN}};
    std::istringstream words(names);
    unsigned long flags = 0;
    for (std::string name; words >> name;) {
        EXPECT_EQ(kNames.count(name), 1u) << name;
        flags |= kNames.count(name) != 0 ? kNames.at(name) : 0;
    }
    return flags;
}

// Every case of cases.txt (its comments describe the format).
TEST(WPAIECodec, CasesOfTheTable) {
    std::ifstream file(AIRVANE_WPA_IE_CASES);
    ASSERT_TRUE(file.good());
    int count = 0;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        SCOPED_TRACE(line);
        ++count;
        const std::string verb = line.substr(0, line.find(' '));
        const std::string input = line.substr(verb.size() + 1, line.find(" = ") - verb.size() - 1);
        const std::string expected = line.substr(line.find(" = ") + 3);
        if (verb == "generate") {
            unsigned char buffer[64];
            const int written = Codec::WPAGenerateIEinfo(Flags(input), buffer, sizeof(buffer));
            EXPECT_EQ(IE(expected), Bytes(buffer, buffer + std::max(written, 0)));
            continue;
        }
        const Bytes ie = verb == "parse" ? IE(input) : Hex(input);
        unsigned long flags = kSentinel; // flags are added to the caller's word
        const bool fails = expected == "fail";
        EXPECT_EQ(fails ? 0 : 1,
                  Codec::WPAParseIEinfo(ie.data(), static_cast<unsigned int>(ie.size()), flags));
        EXPECT_EQ(fails ? kSentinel : kSentinel | Flags(expected), flags);
    }
    EXPECT_GE(count, 35); // every case of the file was read
}

TEST(WPAIEParse, BadLengthsAndNoBytesFail) {
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
