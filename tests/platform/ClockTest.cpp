#include "airvane/platform/internal/Clock.h"
#include "airvane/platform/internal/FakeClock.h"

#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <cstdint>
#include <thread>

namespace {

namespace pf = airvane::platform;

// Distance between the clock and the low 32 bits of the monotonic milliseconds (wrap-safe).
std::uint32_t DistanceFromMonotonic() {
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return pf::GetTickCount() - static_cast<std::uint32_t>(now.tv_sec) * 1000u -
           static_cast<std::uint32_t>(now.tv_nsec / 1000000) + 1000u;
}

TEST(Clock, CountsMonotonicMillisecondsUnlessAFakeClockIsInstalled) {
    EXPECT_LT(DistanceFromMonotonic(), 2000u);
    const std::uint32_t first = pf::GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::uint32_t elapsed = pf::GetTickCount() - first;
    EXPECT_GE(elapsed, 50u);
    EXPECT_LT(elapsed, 5000u);
    pf::InstallFakeClock(1234);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(pf::GetTickCount(), 1234u);
    pf::SetFakeClock(0xFFFFFFFFu);
    EXPECT_EQ(pf::GetTickCount(), 0xFFFFFFFFu);
    pf::RemoveFakeClock();
    EXPECT_LT(DistanceFromMonotonic(), 2000u);
}

} // namespace
