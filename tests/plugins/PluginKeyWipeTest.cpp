// The supplicant modules' reading of the network block, watched by ReleaseWatch.cpp (which
// replaces operator delete, hence an executable of its own): no heap block released meanwhile
// still holds the pass phrase or key, whether the block is taken or refused.

#include "plugins/linux/ctrl/WpaNetwork.h"
#include "plugins/sim/supplicant/NetworkBlock.h"
#include "tests/security/SecurityTestHelpers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace airvane::linux_wlan {
namespace {

const std::string kPassPhrase = "correct horse battery staple";

TEST(PluginKeyWipeTest, ReadingTheNetworkBlockReleasesNoPassPhrase) {
    if (!test::ReleaseWatchActive()) {
        GTEST_SKIP() << "this executable's operator delete is replaced by another allocator";
    }
    // Built in place and kept to the end: a released block holding the pass phrase could be
    // reused by an allocation below and counted when that one is released.
    std::string taken;
    std::string refused;
    for (std::string* block : {&taken, &refused}) {
        block->reserve(256);
        block->append("network={\nssid=\"Lab\"\npsk=\"").append(kPassPhrase);
        block->append(block == &taken ? "\"" : "\"\nproto=\"WPA")
            .append("\npriority=1\nkey_mgmt=WPA-PSK\n}\n");
    }
    for (const std::string* block : {&taken, &refused}) {
        EXPECT_EQ(0, test::ReleasesHolding(kPassPhrase, [&] {
                      std::vector<stNetworkField> fields;
                      std::string error;
                      EXPECT_EQ(ParseNetworkBlock(block->c_str(), fields, error), block == &taken);
                      const std::vector<stNetworkField> copy = fields;
                  }));
    }
    // A released copy must be seen, or the checks above prove nothing.
    EXPECT_GE(test::ReleasesHolding(kPassPhrase, [] { const std::string copy(kPassPhrase); }), 1);
}

// The simulator's supplicant: a pass phrase, a key in hex digits, and a block read again with a
// shorter pass phrase (the longer one's buffer must not be released holding its tail).
TEST(PluginKeyWipeTest, TheSimulatedSupplicantReleasesNoSecret) {
    if (!test::ReleaseWatchActive()) {
        GTEST_SKIP() << "this executable's operator delete is replaced by another allocator";
    }
    const std::string key(64, 'c');
    const auto blockOf = [](const std::string& psk) {
        return "network={\nssid=\"Lab\"\npsk=" + psk + "\n}\n";
    };
    const std::string phraseBlock = blockOf("\"" + kPassPhrase + "\"");
    const std::string keyBlock = blockOf(key);
    const std::string shortBlock = blockOf("\"short pass\"");
    sim::stSimNetworkBlock block;
    EXPECT_EQ(0, test::ReleasesHolding(kPassPhrase, [&] {
                  EXPECT_TRUE(sim::ParseNetworkBlock(phraseBlock.c_str(), block, nullptr));
                  EXPECT_TRUE(sim::ParseNetworkBlock(shortBlock.c_str(), block, nullptr));
              }));
    EXPECT_EQ(0, test::ReleasesHolding(key, [&] {
                  sim::stSimNetworkBlock keyed;
                  EXPECT_TRUE(sim::ParseNetworkBlock(keyBlock.c_str(), keyed, nullptr));
              }));
}

} // namespace
} // namespace airvane::linux_wlan
