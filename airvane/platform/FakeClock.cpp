#include "airvane/platform/internal/FakeClock.h"

namespace airvane::platform {
namespace {

bool g_fakeInstalled = false;
std::uint32_t g_fakeNow = 0;

} // namespace

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

bool ReadFakeClock(std::uint32_t& now) {
    if (!g_fakeInstalled) {
        return false;
    }
    now = g_fakeNow;
    return true;
}

} // namespace airvane::platform
