#pragma once

#include "airvane/Export.h"

#include <cstdint>

namespace airvane::platform {

// Milliseconds since an arbitrary start, as an unsigned 32-bit value that wraps.
AIRVANE_API std::uint32_t GetTickCount();

// Test support: while a fake clock is installed, GetTickCount returns its value.
AIRVANE_API void InstallFakeClock(std::uint32_t now);
AIRVANE_API void SetFakeClock(std::uint32_t now);
AIRVANE_API void RemoveFakeClock();

} // namespace airvane::platform
