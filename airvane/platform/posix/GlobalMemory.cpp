#include "airvane/platform/GlobalMemory.h"

#include <cstdlib>

namespace airvane::platform {

void* GlobalAllocZeroed(std::size_t bytes) {
    // calloc(0) may return null; a block of at least one byte keeps "null means no memory".
    return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

void GlobalRelease(void* block) {
    std::free(block);
}

} // namespace airvane::platform
