#include "airvane/platform/GlobalMemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

namespace pf = airvane::platform;

TEST(GlobalMemory, BlocksAreZeroFilledEvenWhenReused) {
    char* first = static_cast<char*>(pf::GlobalAllocZeroed(512));
    ASSERT_NE(first, nullptr);
    std::memset(first, 0xAB, 512);
    pf::GlobalRelease(first);
    char* block = static_cast<char*>(pf::GlobalAllocZeroed(512));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(block, 512), std::string(512, '\0'));
    pf::GlobalRelease(block);
    block = static_cast<char*>(pf::GlobalAllocZeroed(0)); // zero bytes still give a block
    EXPECT_NE(block, nullptr);
    pf::GlobalRelease(block);
    pf::GlobalRelease(nullptr);
}

} // namespace
