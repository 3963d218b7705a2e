#include "airvane/platform/Clock.h"

#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <cstdint>
#include <thread>

namespace {

namespace pf = airvane::platform;

std::uint32_t MonotonicMilliseconds() {
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(static_cast<unsigned long long>(now.tv_sec) * 1000ull +
                                      static_cast<unsigned long long>(now.tv_nsec) / 1000000ull);
}

TEST(Clock, CountsMillisecondsOfTheMonotonicClock) {
    const std::uint32_t reference = MonotonicMilliseconds();
    const std::uint32_t first = pf::GetTickCount();
    // The low 32 bits of the monotonic milliseconds (a wrapped difference stays small).
    EXPECT_LT(static_cast<std::uint32_t>(first - reference), 1000u);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::uint32_t second = pf::GetTickCount();
    const std::uint32_t elapsed = second - first;
    EXPECT_GE(elapsed, 50u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(Clock, FakeClockReplacesTheRealOneUntilRemoved) {
    pf::InstallFakeClock(1234);
    EXPECT_EQ(pf::GetTickCount(), 1234u);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(pf::GetTickCount(), 1234u);
    pf::SetFakeClock(0xFFFFFFFFu);
    EXPECT_EQ(pf::GetTickCount(), 0xFFFFFFFFu);
    pf::RemoveFakeClock();
    EXPECT_LT(static_cast<std::uint32_t>(pf::GetTickCount() - MonotonicMilliseconds()) + 1000u, 2000u);
}

} // namespace
