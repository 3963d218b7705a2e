#include "airvane/platform/internal/Clock.h"

#include "airvane/platform/internal/FakeClock.h"

#include <windows.h>

namespace airvane::platform {

std::uint32_t GetTickCount() {
    std::uint32_t fake = 0;
    if (ReadFakeClock(fake)) {
        return fake;
    }
    return ::GetTickCount();
}

} // namespace airvane::platform
