#include "airvane/platform/internal/WorkMemory.h"

#include <sys/mman.h>

namespace airvane::platform {

void* MapWorkMemory(std::size_t bytes) {
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        return nullptr;
    }
#if defined(MADV_HUGEPAGE)
    // Only a hint: where the system keeps huge pages for those who ask, a fault maps 2 MiB.
    madvise(block, bytes, MADV_HUGEPAGE);
#endif
    return block;
}

void UnmapWorkMemory(void* block, std::size_t bytes) {
    munmap(block, bytes);
}

} // namespace airvane::platform
