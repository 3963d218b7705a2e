#include "plugins/sim/supplicant/PassphraseKey.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace airvane::sim {
namespace {

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    char digits[3];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
        text += digits;
    }
    return text;
}

std::string Derive(const std::string& passphrase, const std::string& ssid) {
    std::uint8_t pmk[kPMKLength] = {};
    EXPECT_TRUE(DerivePMK(passphrase.data(), passphrase.size(),
                          reinterpret_cast<const std::uint8_t*>(ssid.data()), ssid.size(), pmk));
    return Hex(pmk, sizeof pmk);
}

// Test vectors of IEEE 802.11i, annex H.4.
TEST(PassphraseKeyTest, MatchesPublishedVectors) {
    EXPECT_EQ(Derive("password", "IEEE"), "f42c6fc52df0ebef9ebb4b90b38a5f902e83fe1b135a70e23aed762e9710a12e");
    EXPECT_EQ(Derive("ThisIsAPassword", "ThisIsASSID"),
              "0dc0d6eb90555ed6419756b9a15ec3e3209b63df707dd508d14581f8982721af");
    EXPECT_EQ(Derive(std::string(32, 'a'), std::string(32, 'Z')),
              "becb93866bb8c3832cb777c2f559807c8c59afcb6eae734885001300a981cc62");
}

TEST(PassphraseKeyTest, SaltAndPassphraseBothMatter) {
    EXPECT_NE(Derive("password", "IEEE"), Derive("password", "IEEF"));
    EXPECT_NE(Derive("password", "IEEE"), Derive("passwore", "IEEE"));
}

TEST(PassphraseKeyTest, RejectsNullArguments) {
    std::uint8_t pmk[kPMKLength];
    const std::uint8_t ssid[] = {'s'};
    EXPECT_FALSE(DerivePMK(nullptr, 0, ssid, 1, pmk));
    EXPECT_FALSE(DerivePMK("password", 8, nullptr, 0, pmk));
    EXPECT_FALSE(DerivePMK("password", 8, ssid, 1, nullptr));
}

} // namespace
} // namespace airvane::sim
