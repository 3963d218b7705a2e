#include "airvane/platform/GlobalMemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace pf = airvane::platform;

TEST(GlobalMemory, BlocksAreZeroFilledEvenWhenReused) {
    // Sizes in and between the small-block classes and past the largest of them.
    for (const std::size_t bytes : std::vector<std::size_t>{1, 16, 17, 100, 256, 257, 512}) {
        SCOPED_TRACE(bytes);
        char* first = static_cast<char*>(pf::GlobalAllocZeroed(bytes));
        ASSERT_NE(first, nullptr);
        std::memset(first, 0xAB, bytes);
        pf::GlobalRelease(first);
        char* block = static_cast<char*>(pf::GlobalAllocZeroed(bytes));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(std::string(block, bytes), std::string(bytes, '\0'));
        pf::GlobalRelease(block);
    }
    char* block = static_cast<char*>(pf::GlobalAllocZeroed(0)); // zero bytes still give a block
    EXPECT_NE(block, nullptr);
    pf::GlobalRelease(block);
    pf::GlobalRelease(nullptr);
}

TEST(GlobalMemory, BlocksAreReleasedFromAnyThread) {
    // Each thread makes blocks; then each releases the blocks the next one made while making more.
    constexpr int kThreads = 4, kBlocks = 20000;
    std::vector<std::vector<char*>> made(kThreads, std::vector<char*>(kBlocks));
    for (const bool release : {false, true}) {
        std::vector<std::thread> threads;
        threads.reserve(kThreads);
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t, release, &made] {
                for (int i = 0; i < kBlocks; ++i) {
                    auto* block = static_cast<char*>(
                        pf::GlobalAllocZeroed(static_cast<std::size_t>(1 + (i + t) % 300)));
                    ASSERT_NE(block, nullptr);
                    block[0] = static_cast<char>(t + 1);
                    if (!release) {
                        made[t][i] = block;
                        continue;
                    }
                    pf::GlobalRelease(block);
                    char* theirs = made[(t + 1) % kThreads][i];
                    EXPECT_EQ(theirs[0], static_cast<char>((t + 1) % kThreads + 1));
                    pf::GlobalRelease(theirs);
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
}

} // namespace
