#include "airvane/platform/internal/Clock.h"

#include "airvane/platform/internal/FakeClock.h"

#include <time.h>

namespace airvane::platform {

std::uint32_t GetTickCount() {
    std::uint32_t fake = 0;
    if (ReadFakeClock(fake)) {
        return fake;
    }
    // Counting on while the system sleeps, as the Windows tick count does, where the clock
    // offers that.
    struct timespec now;
#if defined(CLOCK_BOOTTIME)
    ::clock_gettime(CLOCK_BOOTTIME, &now);
#else
    ::clock_gettime(CLOCK_MONOTONIC, &now);
#endif
    const unsigned long long ms = static_cast<unsigned long long>(now.tv_sec) * 1000ull +
                                  static_cast<unsigned long long>(now.tv_nsec) / 1000000ull;
    return static_cast<std::uint32_t>(ms);
}

} // namespace airvane::platform
