#include "airvane/platform/internal/Clock.h"

#include "airvane/platform/internal/FakeClock.h"

#include <time.h>

namespace airvane::platform {

std::uint32_t GetTickCount() {
    std::uint32_t fake = 0;
    if (ReadFakeClock(fake)) {
        return fake;
    }
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const unsigned long long ms = static_cast<unsigned long long>(now.tv_sec) * 1000ull +
                                  static_cast<unsigned long long>(now.tv_nsec) / 1000000ull;
    return static_cast<std::uint32_t>(ms);
}

} // namespace airvane::platform
