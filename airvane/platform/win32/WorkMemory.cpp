#include "airvane/platform/internal/WorkMemory.h"

#include <windows.h>

namespace airvane::platform {

void* MapWorkMemory(std::size_t bytes) {
    return ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

// Nothing is kept between requests, and a process has no fork to guard against.
void LockWorkMemory() {}
void UnlockWorkMemory() {}

void UnmapWorkMemory(void* block, std::size_t /*bytes: a whole reservation is released*/) {
    ::VirtualFree(block, 0, MEM_RELEASE);
}

} // namespace airvane::platform
