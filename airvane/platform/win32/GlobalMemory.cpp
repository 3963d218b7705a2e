#include "airvane/platform/GlobalMemory.h"
#include "airvane/platform/internal/GlobalBlocks.h"

#include <windows.h>

namespace airvane::platform {

// Real global memory blocks: fixed and zero-filled (GPTR), so any module of the process can
// release one through GlobalHandle and GlobalFree.
void* GlobalAllocBlock(std::size_t bytes, bool /*zeroed: GPTR blocks always are*/) {
    const HGLOBAL block = ::GlobalAlloc(GPTR, bytes == 0 ? 1 : bytes);
    return block != nullptr ? ::GlobalLock(block) : nullptr;
}

void GlobalReleaseBlock(void* block) {
    if (block == nullptr) {
        return;
    }
    const HGLOBAL handle = ::GlobalHandle(block);
    if (handle != nullptr) {
        ::GlobalUnlock(handle);
        ::GlobalFree(handle);
    }
}

void* GlobalAllocZeroed(std::size_t bytes) {
    return GlobalAllocBlock(bytes, true);
}

void GlobalRelease(void* block) {
    GlobalReleaseBlock(block);
}

} // namespace airvane::platform
