#include "airvane/platform/GlobalMemory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

namespace pf = airvane::platform;

TEST(GlobalMemory, BlocksAreZeroFilled) {
    // Fill and release a block first so a reused one would show old bytes.
    unsigned char* first = static_cast<unsigned char*>(pf::GlobalAllocZeroed(512));
    ASSERT_NE(first, nullptr);
    std::memset(first, 0xAB, 512);
    pf::GlobalRelease(first);
    unsigned char* block = static_cast<unsigned char*>(pf::GlobalAllocZeroed(512));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 512; ++i) {
        ASSERT_EQ(block[i], 0) << i;
    }
    pf::GlobalRelease(block);
}

TEST(GlobalMemory, ZeroBytesStillGiveABlock) {
    void* block = pf::GlobalAllocZeroed(0);
    EXPECT_NE(block, nullptr);
    pf::GlobalRelease(block);
    pf::GlobalRelease(nullptr);
}

} // namespace
