#include "airvane/platform/Clock.h"

#include <time.h>

namespace airvane::platform {
namespace {

bool g_fakeInstalled = false;
std::uint32_t g_fakeNow = 0;

} // namespace

std::uint32_t GetTickCount() {
    if (g_fakeInstalled) {
        return g_fakeNow;
    }
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const unsigned long long ms = static_cast<unsigned long long>(now.tv_sec) * 1000ull +
                                  static_cast<unsigned long long>(now.tv_nsec) / 1000000ull;
    return static_cast<std::uint32_t>(ms);
}

void InstallFakeClock(std::uint32_t now) {
    g_fakeInstalled = true;
    g_fakeNow = now;
}

void SetFakeClock(std::uint32_t now) {
    g_fakeNow = now;
}

void RemoveFakeClock() {
    g_fakeInstalled = false;
}

} // namespace airvane::platform
