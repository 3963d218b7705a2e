#pragma once

// Test support, not installed with the library's headers: while a fake clock is installed,
// GetTickCount returns its value instead of the system's.

#include "airvane/Export.h"

#include <cstdint>

namespace airvane::platform {

AIRVANE_API void InstallFakeClock(std::uint32_t now);
AIRVANE_API void SetFakeClock(std::uint32_t now);
AIRVANE_API void RemoveFakeClock();

// The fake clock's value when one is installed (used by the backends' GetTickCount).
bool ReadFakeClock(std::uint32_t& now);

} // namespace airvane::platform
