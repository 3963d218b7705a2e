#include "airvane/security/WPASecureMethod.h"
#include "airvane/wpa_ie/WPAIEFlags.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr unsigned long kSentinel = 0x80000000UL; // a bit the codec never touches

// Parses into a flag word that starts as kSentinel; returns the parse result.
int Parse(const Bytes& ie, unsigned long& flags) {
    flags = kSentinel;
    return CWLANWPAGenSecureMethod::WPAParseIEinfo(ie.data(), static_cast<unsigned int>(ie.size()), flags);
}

void ExpectFails(const Bytes& ie, const char* why) {
    unsigned long flags = 0;
    EXPECT_EQ(0, Parse(ie, flags)) << why;
    EXPECT_EQ(kSentinel, flags) << why;
}

void ExpectFlags(const Bytes& ie, unsigned long expected, const char* why) {
    unsigned long flags = 0;
    EXPECT_EQ(1, Parse(ie, flags)) << why;
    EXPECT_EQ(kSentinel | expected, flags) << why;
}

const Bytes kWPAMinimal = {0xDD, 0x06, 0x00, 0x50, 0xF2, 0x01, 0x01, 0x00};
const Bytes kRSNMinimal = {0x30, 0x02, 0x01, 0x00};

// A full WPA element (TKIP group, TKIP pairwise, PSK) as generated.
const Bytes kWPAGenerated = {0xDD, 0x16, 0x00, 0x50, 0xF2, 0x01, 0x01, 0x00, 0x00, 0x50, 0xF2, 0x02,
                             0x01, 0x00, 0x00, 0x50, 0xF2, 0x02, 0x01, 0x00, 0x00, 0x50, 0xF2, 0x02};
const Bytes kRSNGenerated = {0x30, 0x14, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x04, 0x01, 0x00, 0x00,
                             0x0F, 0xAC, 0x04, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x02, 0x00, 0x00};

// Fixes the length byte after editing an element.
Bytes WithLength(Bytes ie) {
    ie[1] = static_cast<unsigned char>(ie.size() - 2);
    return ie;
}

Bytes Append(Bytes ie, const Bytes& tail) {
    ie.insert(ie.end(), tail.begin(), tail.end());
    return WithLength(ie);
}

TEST(WPAIEParse, MinimalElementsTakeTheDefaults) {
    ExpectFlags(kWPAMinimal, WPAIE_PROTO_WPA | WPAIE_GROUP_TKIP | WPAIE_PAIRWISE_TKIP | WPAIE_AKM_8021X,
                "WPA");
    ExpectFlags(kRSNMinimal, WPAIE_PROTO_RSN | WPAIE_GROUP_CCMP | WPAIE_PAIRWISE_CCMP | WPAIE_AKM_8021X,
                "RSN");
}

TEST(WPAIEParse, FlagsAreAddedToTheCallersWord) {
    unsigned long flags = 0;
    ASSERT_EQ(1, CWLANWPAGenSecureMethod::WPAParseIEinfo(kWPAMinimal.data(), 8, flags));
    ASSERT_EQ(1, CWLANWPAGenSecureMethod::WPAParseIEinfo(kRSNMinimal.data(), 4, flags));
    EXPECT_EQ(WPAIE_PROTO_WPA | WPAIE_PROTO_RSN | WPAIE_GROUP_TKIP | WPAIE_PAIRWISE_TKIP | WPAIE_GROUP_CCMP |
                  WPAIE_PAIRWISE_CCMP | WPAIE_AKM_8021X,
              flags);
}

TEST(WPAIEParse, FullElementsReadEverySuite) {
    ExpectFlags(kWPAGenerated, WPAIE_PROTO_WPA | WPAIE_GROUP_TKIP | WPAIE_PAIRWISE_TKIP | WPAIE_AKM_PSK,
                "WPA");
    ExpectFlags(kRSNGenerated, WPAIE_PROTO_RSN | WPAIE_GROUP_CCMP | WPAIE_PAIRWISE_CCMP | WPAIE_AKM_PSK,
                "RSN");
}

TEST(WPAIEParse, ListsAreORedAndCiphersMapToFlags) {
    // WPA: group WEP-40, pairwise none + WEP-104 + TKIP + CCMP, both key managements, capabilities.
    const Bytes ie =
        WithLength({0xDD, 0,    0x00, 0x50, 0xF2, 0x01, 0x01, 0x00, 0x00, 0x50, 0xF2, 0x01, 0x04, 0x00,
                    0x00, 0x50, 0xF2, 0x00, 0x00, 0x50, 0xF2, 0x05, 0x00, 0x50, 0xF2, 0x02, 0x00, 0x50,
                    0xF2, 0x04, 0x02, 0x00, 0x00, 0x50, 0xF2, 0x01, 0x00, 0x50, 0xF2, 0x02, 0x0C, 0x00});
    ExpectFlags(ie,
                WPAIE_PROTO_WPA | WPAIE_GROUP_WEP | WPAIE_PAIRWISE_NONE | WPAIE_PAIRWISE_WEP |
                    WPAIE_PAIRWISE_TKIP | WPAIE_PAIRWISE_CCMP | WPAIE_AKM_8021X | WPAIE_AKM_PSK,
                "all suites");
    // RSN with group none and group WEP-104.
    ExpectFlags(WithLength({0x30, 0, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x00}),
                WPAIE_PROTO_RSN | WPAIE_GROUP_NONE | WPAIE_PAIRWISE_CCMP | WPAIE_AKM_8021X, "group none");
    ExpectFlags(WithLength({0x30, 0, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x05}),
                WPAIE_PROTO_RSN | WPAIE_GROUP_WEP | WPAIE_PAIRWISE_CCMP | WPAIE_AKM_8021X, "group WEP-104");
}

TEST(WPAIEParse, UnknownSelectorsContributeNothing) {
    ExpectFlags(WithLength({0xDD, 0, 0x00, 0x50, 0xF2, 0x01, 0x01, 0x00, 0x00, 0x50, 0xF2, 0x03}),
                WPAIE_PROTO_WPA | WPAIE_PAIRWISE_TKIP | WPAIE_AKM_8021X, "group type 3");
    // An RSN selector inside a WPA element is foreign there.
    ExpectFlags(WithLength({0xDD, 0, 0x00, 0x50, 0xF2, 0x01, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x04}),
                WPAIE_PROTO_WPA | WPAIE_PAIRWISE_TKIP | WPAIE_AKM_8021X, "foreign OUI");
    // A key management list holding only an unknown suite clears the default.
    ExpectFlags(Append(kRSNMinimal, {0x00, 0x0F, 0xAC, 0x04, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x04, 0x01, 0x00,
                                     0x00, 0x0F, 0xAC, 0x07}),
                WPAIE_PROTO_RSN | WPAIE_GROUP_CCMP | WPAIE_PAIRWISE_CCMP, "unknown AKM");
}

TEST(WPAIEParse, TrailingBytesFailWPAButNotRSN) {
    const Bytes tail = {0x00, 0x00, 0xAB, 0xCD}; // capabilities then two more bytes
    Bytes wpa = kWPAGenerated;
    ExpectFails(Append(wpa, tail), "WPA with bytes after capabilities");
    ExpectFlags(Append(kRSNGenerated, {0xAB, 0xCD}),
                WPAIE_PROTO_RSN | WPAIE_GROUP_CCMP | WPAIE_PAIRWISE_CCMP | WPAIE_AKM_PSK, "RSN trailing");
    ExpectFails(Append(wpa, {0x00}), "WPA single byte where capabilities would be");
    ExpectFlags(Append(wpa, {0x00, 0x00}),
                WPAIE_PROTO_WPA | WPAIE_GROUP_TKIP | WPAIE_PAIRWISE_TKIP | WPAIE_AKM_PSK,
                "WPA with capabilities");
    // RSN: a single byte after the key management list is ignored as a trailing byte.
    Bytes rsnNoCaps(kRSNGenerated.begin(), kRSNGenerated.end() - 2);
    ExpectFlags(Append(rsnNoCaps, {0x00}),
                WPAIE_PROTO_RSN | WPAIE_GROUP_CCMP | WPAIE_PAIRWISE_CCMP | WPAIE_AKM_PSK,
                "RSN odd byte after lists");
}

TEST(WPAIEParse, HeaderFailures) {
    unsigned long flags = kSentinel;
    EXPECT_EQ(0, CWLANWPAGenSecureMethod::WPAParseIEinfo(kWPAMinimal.data(), 0, flags));
    EXPECT_EQ(0, CWLANWPAGenSecureMethod::WPAParseIEinfo(nullptr, 8, flags));
    EXPECT_EQ(kSentinel, flags);

    ExpectFails({0x31, 0x02, 0x01, 0x00}, "unknown element id");
    ExpectFails({0xDD, 0x05, 0x00, 0x50, 0xF2, 0x01, 0x01}, "WPA shorter than 8");
    ExpectFails({0x30, 0x01, 0x01}, "RSN shorter than 4");
    ExpectFails({0x30}, "one byte");
    ExpectFails({0xDD, 0x07, 0x00, 0x50, 0xF2, 0x01, 0x01, 0x00}, "WPA length byte too large");
    ExpectFails({0x30, 0x01, 0x01, 0x00}, "RSN length byte too small");
    ExpectFails({0xDD, 0x06, 0x00, 0x50, 0xF3, 0x01, 0x01, 0x00}, "WPA OUI");
    ExpectFails({0xDD, 0x06, 0x00, 0x50, 0xF2, 0x02, 0x01, 0x00}, "WPA OUI type");
    ExpectFails({0xDD, 0x06, 0x00, 0x50, 0xF2, 0x01, 0x02, 0x00}, "WPA version 2");
    ExpectFails({0xDD, 0x06, 0x00, 0x50, 0xF2, 0x01, 0x01, 0x01}, "WPA version 257");
    ExpectFails({0x30, 0x02, 0x00, 0x00}, "RSN version 0");
    ExpectFails({0x30, 0x02, 0x01, 0x01}, "RSN version 257");
}

TEST(WPAIEParse, BodyFailures) {
    for (int partial = 1; partial <= 3; ++partial) {
        Bytes ie = kRSNMinimal;
        for (int i = 0; i < partial; ++i) {
            ie.push_back(0x00);
        }
        ExpectFails(WithLength(ie), "partial group suite");
    }
    const Bytes group = {0x00, 0x0F, 0xAC, 0x04};
    const Bytes suite = {0x00, 0x0F, 0xAC, 0x02};
    Bytes base = kRSNMinimal;
    base.insert(base.end(), group.begin(), group.end());

    ExpectFails(Append(base, {0x01}), "one byte where the pairwise count would be");
    ExpectFails(Append(base, {0x00, 0x00}), "pairwise count 0");
    ExpectFails(Append(base, {0x02, 0x00, 0x00, 0x0F, 0xAC, 0x04}), "pairwise count larger than the bytes");
    ExpectFails(Append(base, {0xFF, 0xFF, 0x00, 0x0F, 0xAC, 0x04}), "huge pairwise count");

    Bytes pairwise = base;
    pairwise.insert(pairwise.end(), {0x01, 0x00});
    pairwise.insert(pairwise.end(), suite.begin(), suite.end());
    ExpectFails(Append(pairwise, {0x01}), "one byte where the key management count would be");
    ExpectFails(Append(pairwise, {0x00, 0x00}), "key management count 0");
    ExpectFails(Append(pairwise, {0x02, 0x00, 0x00, 0x0F, 0xAC, 0x02, 0x00}), "key management list short");

    // The same failures in a WPA element.
    const Bytes wpaBase = {0xDD, 0, 0x00, 0x50, 0xF2, 0x01, 0x01, 0x00, 0x00, 0x50, 0xF2, 0x02};
    ExpectFails(Append(wpaBase, {0x00, 0x00}), "WPA pairwise count 0");
    ExpectFails(Append(wpaBase, {0x01, 0x00, 0x00, 0x50, 0xF2}), "WPA pairwise list short");
    ExpectFails(Append(wpaBase, {0x01}), "WPA one byte after group");
    ExpectFails(WithLength({0xDD, 0, 0x00, 0x50, 0xF2, 0x01, 0x01, 0x00, 0x00, 0x50}), "WPA partial group");
}

TEST(WPAIEParse, NeverReadsBeyondTheGivenLength) {
    // The element claims more than the caller's length covers: the length byte disagrees.
    std::vector<unsigned char> exact(kWPAGenerated.begin(), kWPAGenerated.end());
    unsigned long flags = kSentinel;
    EXPECT_EQ(0, CWLANWPAGenSecureMethod::WPAParseIEinfo(exact.data(), 20, flags));
    // Heap copies sized exactly to each prefix let the address sanitizer catch any overread.
    for (std::size_t n = 1; n <= kWPAGenerated.size(); ++n) {
        std::vector<unsigned char> prefix(kWPAGenerated.begin(),
                                          kWPAGenerated.begin() + static_cast<long>(n));
        if (n >= 2) {
            prefix[1] = static_cast<unsigned char>(n - 2);
        }
        unsigned long ignored = 0;
        CWLANWPAGenSecureMethod::WPAParseIEinfo(prefix.data(), static_cast<unsigned int>(n), ignored);
    }
    EXPECT_EQ(kSentinel, flags);
}

TEST(WPAIEGenerate, WPAElementBytes) {
    unsigned char buffer[40];
    const int written = CWLANWPAGenSecureMethod::WPAGenerateIEinfo(
        WPAIE_PROTO_WPA | WPAIE_GROUP_TKIP | WPAIE_PAIRWISE_TKIP | WPAIE_AKM_PSK, buffer, sizeof(buffer));
    ASSERT_EQ(24, written);
    EXPECT_EQ(kWPAGenerated, Bytes(buffer, buffer + 24));
    unsigned long flags = 0;
    ASSERT_EQ(1, CWLANWPAGenSecureMethod::WPAParseIEinfo(buffer, 24, flags));
    EXPECT_EQ(WPAIE_PROTO_WPA | WPAIE_GROUP_TKIP | WPAIE_PAIRWISE_TKIP | WPAIE_AKM_PSK, flags);
}

TEST(WPAIEGenerate, RSNElementBytes) {
    unsigned char buffer[64];
    const int written = CWLANWPAGenSecureMethod::WPAGenerateIEinfo(
        WPAIE_PROTO_RSN | WPAIE_GROUP_CCMP | WPAIE_PAIRWISE_CCMP | WPAIE_AKM_PSK, buffer, sizeof(buffer));
    ASSERT_EQ(22, written);
    EXPECT_EQ(kRSNGenerated, Bytes(buffer, buffer + 22));
}

TEST(WPAIEGenerate, BothProtocolsGiveRSN) {
    unsigned char buffer[40];
    const int written = CWLANWPAGenSecureMethod::WPAGenerateIEinfo(
        WPAIE_PROTO_WPA | WPAIE_PROTO_RSN | WPAIE_GROUP_CCMP | WPAIE_PAIRWISE_CCMP | WPAIE_AKM_PSK, buffer,
        sizeof(buffer));
    ASSERT_EQ(22, written);
    EXPECT_EQ(kRSNGenerated, Bytes(buffer, buffer + 22));
}

TEST(WPAIEGenerate, OrderOfPreference) {
    unsigned char buffer[40];
    const unsigned long all = WPAIE_PROTO_WPA | WPAIE_GROUP_NONE | WPAIE_GROUP_WEP | WPAIE_GROUP_TKIP |
                              WPAIE_GROUP_CCMP | WPAIE_PAIRWISE_NONE | WPAIE_PAIRWISE_WEP |
                              WPAIE_PAIRWISE_TKIP | WPAIE_PAIRWISE_CCMP | WPAIE_AKM_PSK | WPAIE_AKM_8021X;
    ASSERT_EQ(24, CWLANWPAGenSecureMethod::WPAGenerateIEinfo(all, buffer, sizeof(buffer)));
    EXPECT_EQ(0x04, buffer[11]); // group CCMP
    EXPECT_EQ(0x04, buffer[17]); // pairwise CCMP
    EXPECT_EQ(0x01, buffer[23]); // 802.1X

    ASSERT_EQ(24, CWLANWPAGenSecureMethod::WPAGenerateIEinfo(WPAIE_PROTO_WPA | WPAIE_GROUP_WEP |
                                                                 WPAIE_GROUP_TKIP | WPAIE_PAIRWISE_NONE |
                                                                 WPAIE_PAIRWISE_TKIP | WPAIE_AKM_PSK,
                                                             buffer, sizeof(buffer)));
    EXPECT_EQ(0x02, buffer[11]); // TKIP before WEP
    EXPECT_EQ(0x02, buffer[17]); // TKIP before none
    EXPECT_EQ(0x02, buffer[23]); // PSK

    ASSERT_EQ(24, CWLANWPAGenSecureMethod::WPAGenerateIEinfo(WPAIE_PROTO_WPA | WPAIE_GROUP_WEP |
                                                                 WPAIE_PAIRWISE_NONE | WPAIE_PAIRWISE_WEP |
                                                                 WPAIE_AKM_8021X,
                                                             buffer, sizeof(buffer)));
    EXPECT_EQ(0x05, buffer[11]); // WEP is generated as WEP-104
    EXPECT_EQ(0x00, buffer[17]); // none; pairwise WEP is never generated
    EXPECT_EQ(0x01, buffer[23]);
}

TEST(WPAIEGenerate, UnchosenSelectorsKeepTheBufferBytes) {
    unsigned char buffer[40];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    ASSERT_EQ(22, CWLANWPAGenSecureMethod::WPAGenerateIEinfo(
                      WPAIE_PROTO_RSN | WPAIE_PAIRWISE_WEP | WPAIE_GROUP_NONE, buffer, sizeof(buffer)));
    const Bytes expected = {0x30, 0x14, 0x01, 0x00, 0xEE, 0xEE, 0xEE, 0xEE, 0x01, 0x00, 0xEE,
                            0xEE, 0xEE, 0xEE, 0x01, 0x00, 0xEE, 0xEE, 0xEE, 0xEE, 0x00, 0x00};
    EXPECT_EQ(expected, Bytes(buffer, buffer + 22));
    EXPECT_EQ(0xEE, buffer[22]);
}

TEST(WPAIEGenerate, RefusalsWriteNothing) {
    unsigned char buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    const unsigned long flags = WPAIE_PROTO_WPA | WPAIE_GROUP_TKIP | WPAIE_PAIRWISE_TKIP | WPAIE_AKM_PSK;
    EXPECT_EQ(-1, CWLANWPAGenSecureMethod::WPAGenerateIEinfo(flags, buffer, 39));
    EXPECT_EQ(-1, CWLANWPAGenSecureMethod::WPAGenerateIEinfo(flags, buffer, 0));
    EXPECT_EQ(-1, CWLANWPAGenSecureMethod::WPAGenerateIEinfo(
                      WPAIE_GROUP_TKIP | WPAIE_PAIRWISE_TKIP | WPAIE_AKM_PSK, buffer, sizeof(buffer)));
    EXPECT_EQ(-1, CWLANWPAGenSecureMethod::WPAGenerateIEinfo(flags, nullptr, 64));
    for (unsigned char byte : buffer) {
        ASSERT_EQ(0xEE, byte);
    }
    EXPECT_EQ(24, CWLANWPAGenSecureMethod::WPAGenerateIEinfo(flags, buffer, 40));
}

} // namespace
