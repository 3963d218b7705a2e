#include "airvane/platform/internal/WorkMemory.h"

#include <windows.h>

namespace airvane::platform {

void* MapWorkMemory(std::size_t bytes) {
    return ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void UnmapWorkMemory(void* block, std::size_t /*bytes: a whole reservation is released*/) {
    ::VirtualFree(block, 0, MEM_RELEASE);
}

} // namespace airvane::platform
