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
    for (const std::size_t bytes : {std::size_t{1}, std::size_t{16}, std::size_t{17}, std::size_t{100},
                                    std::size_t{256}, std::size_t{257}, std::size_t{512}}) {
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
    // Each thread releases the blocks another one made, while making its own.
    constexpr int kThreads = 4;
    constexpr int kBlocks = 20000;
    std::vector<std::vector<char*>> made(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &made] {
            for (int i = 0; i < kBlocks; ++i) {
                char* block =
                    static_cast<char*>(pf::GlobalAllocZeroed(static_cast<std::size_t>(1 + (i + t) % 300)));
                ASSERT_NE(block, nullptr);
                block[0] = static_cast<char>(t + 1);
                made[t].push_back(block);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    threads.clear();
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &made] {
            for (char* block : made[(t + 1) % kThreads]) {
                EXPECT_EQ(block[0], static_cast<char>((t + 1) % kThreads + 1));
                pf::GlobalRelease(block);
            }
            for (int i = 0; i < kBlocks; ++i) {
                pf::GlobalRelease(pf::GlobalAllocZeroed(static_cast<std::size_t>(1 + i % 300)));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

} // namespace
