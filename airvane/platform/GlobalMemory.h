#pragma once

#include "airvane/Export.h"

#include <cstddef>

namespace airvane::platform {

// Process-wide memory blocks: zero-filled on allocation, and any module of the process
// may release a block that another module allocated. Null when no memory is left. A block of
// more than 8 bytes is aligned to two pointers (8 bytes on 32-bit systems, 16 on 64-bit), a
// smaller one to 8 bytes.
AIRVANE_API void* GlobalAllocZeroed(std::size_t bytes);

// Releases a block from GlobalAllocZeroed; null is ignored.
AIRVANE_API void GlobalRelease(void* block);

} // namespace airvane::platform
