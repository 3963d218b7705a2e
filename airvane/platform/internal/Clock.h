#pragma once

#include "airvane/Export.h"

#include <cstdint>

namespace airvane::platform {

// Milliseconds since an arbitrary start, as an unsigned 32-bit value that wraps.
AIRVANE_API std::uint32_t GetTickCount();

} // namespace airvane::platform
