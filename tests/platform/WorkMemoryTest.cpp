#include "airvane/platform/internal/WorkMemory.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

namespace {

namespace pf = airvane::platform;

constexpr std::size_t kMiB = std::size_t{1} << 20;

// Maps `bytes`, writes every byte of it (a mapping shorter than asked for would fault), and gives
// it back; returns where it was.
void* UseOnce(std::size_t bytes) {
    void* block = pf::MapWorkMemory(bytes);
    EXPECT_NE(block, nullptr);
    if (block != nullptr) {
        std::memset(block, 0x5A, bytes);
        pf::UnmapWorkMemory(block, bytes);
    }
    return block;
}

TEST(WorkMemory, ARequestTakesTheSmallestKeptMappingThatHoldsItAndItStaysWhole) {
    // The mappings below are kept in this process's own pool (this file is built into the test).
    void* const large = pf::MapWorkMemory(12 * kMiB);
    void* const medium = pf::MapWorkMemory(6 * kMiB);
    ASSERT_NE(large, nullptr);
    ASSERT_NE(medium, nullptr);
    pf::UnmapWorkMemory(large, 12 * kMiB);
    pf::UnmapWorkMemory(medium, 6 * kMiB);
    // A smaller request takes the smallest mapping that holds it, and an exact size comes first.
    EXPECT_EQ(UseOnce(3 * kMiB), medium);
    EXPECT_EQ(UseOnce(12 * kMiB), large);
    EXPECT_EQ(UseOnce(10 * kMiB), large);
    // Lent to smaller requests, both came back whole: their full sizes find them again, and
    // writing every byte of those sizes does not fault.
    EXPECT_EQ(UseOnce(6 * kMiB), medium);
    EXPECT_EQ(UseOnce(12 * kMiB), large);
    // Nothing kept holds a larger request.
    void* const larger = pf::MapWorkMemory(14 * kMiB);
    ASSERT_NE(larger, nullptr);
    EXPECT_NE(larger, large);
    EXPECT_NE(larger, medium);
    pf::UnmapWorkMemory(larger, 14 * kMiB);
}

} // namespace
