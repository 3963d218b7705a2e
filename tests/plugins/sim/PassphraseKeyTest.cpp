#include "plugins/sim/supplicant/PassphraseKey.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace airvane::sim {
namespace {

// Test vectors of IEEE 802.11i, annex H.4: any fault in the iteration, the salt or the pass
// phrase handling changes the master key.
TEST(PassphraseKeyTest, MatchesPublishedVectors) {
    const struct {
        std::string passphrase;
        std::string ssid;
        const char* pmk;
    } cases[] = {
        {"password", "IEEE", "f42c6fc52df0ebef9ebb4b90b38a5f902e83fe1b135a70e23aed762e9710a12e"},
        {"ThisIsAPassword", "ThisIsASSID",
         "0dc0d6eb90555ed6419756b9a15ec3e3209b63df707dd508d14581f8982721af"},
        {std::string(32, 'a'), std::string(32, 'Z'),
         "becb93866bb8c3832cb777c2f559807c8c59afcb6eae734885001300a981cc62"},
    };
    for (const auto& c : cases) {
        std::uint8_t pmk[kPMKLength] = {};
        ASSERT_TRUE(DerivePMK(c.passphrase.data(), c.passphrase.size(),
                              reinterpret_cast<const std::uint8_t*>(c.ssid.data()), c.ssid.size(), pmk));
        std::string hex;
        for (std::uint8_t byte : pmk) {
            char digits[3];
            std::snprintf(digits, sizeof digits, "%02x", byte);
            hex += digits;
        }
        EXPECT_EQ(hex, c.pmk) << c.passphrase;
    }
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
