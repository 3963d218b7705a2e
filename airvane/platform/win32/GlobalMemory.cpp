#include "airvane/platform/GlobalMemory.h"

#include <windows.h>

namespace airvane::platform {

// Real global memory blocks: fixed and zero-filled (GPTR), so any module of the process can
// release one through GlobalHandle and GlobalFree.
void* GlobalAllocZeroed(std::size_t bytes) {
    const HGLOBAL block = ::GlobalAlloc(GPTR, bytes == 0 ? 1 : bytes);
    return block != nullptr ? ::GlobalLock(block) : nullptr;
}

void GlobalRelease(void* block) {
    if (block == nullptr) {
        return;
    }
    const HGLOBAL handle = ::GlobalHandle(block);
    if (handle != nullptr) {
        ::GlobalUnlock(handle);
        ::GlobalFree(handle);
    }
}

} // namespace airvane::platform
