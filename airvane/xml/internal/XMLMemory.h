#pragma once

// Where every block of an XML tree comes from: the names, values and attribute strings, and the
// node and attribute records. They are process-wide global memory blocks (any module may release
// one through the library's release functions), so a plug-in given a node and the library that
// frees it need not share a C runtime. Not part of the exported interface.

#include "airvane/Export.h"
#include "airvane/platform/internal/GlobalBlocks.h"

#include <atomic>
#include <cstddef>
#include <new>

namespace airvane::xml {

// True once a test tracks allocations (below); until then every block goes straight to global
// memory.
extern std::atomic<bool> g_trackingAllocations;
void* AllocateTrackedBlock(std::size_t bytes, bool zeroed);
void ReleaseTrackedBlock(void* block);

// A block of `bytes` bytes, zero-filled when `zeroed` (otherwise the caller writes every byte);
// null when no memory is left.
inline void* AllocateTreeBlock(std::size_t bytes, bool zeroed) {
    if (__builtin_expect(g_trackingAllocations.load(std::memory_order_relaxed), false)) {
        return AllocateTrackedBlock(bytes, zeroed);
    }
    return platform::GlobalAllocBlock(bytes, zeroed);
}

// Releases a block from AllocateTreeBlock (or any global memory block); null is ignored.
inline void ReleaseTreeBlock(void* block) {
    if (__builtin_expect(g_trackingAllocations.load(std::memory_order_relaxed), false)) {
        ReleaseTrackedBlock(block);
        return;
    }
    platform::GlobalReleaseBlock(block);
}

// A zero-initialised record of type T from AllocateTreeBlock, or null.
template <class T> T* NewTreeRecord() {
    void* block = AllocateTreeBlock(sizeof(T), false);
    if (block == nullptr) {
        return nullptr;
    }
    return new (block) T{};
}

// Test support. Once TrackAllocations has been called, allocations are counted, and a test can
// make them fail: after FailAllocationsAfter(n, once) the next n allocations succeed, then every
// later one fails (only the next one with `once`); a negative n stops failing.
AIRVANE_API void TrackAllocations();
AIRVANE_API void FailAllocationsAfter(long successes, bool once);
// Counts one allocation and tells whether it may succeed. The tree's blocks ask it; a test that
// replaces operator new may ask it too, so that the reader's working data can fail as well.
AIRVANE_API bool AllocationAllowed();
// Allocations counted since the last FailAllocationsAfter; tree blocks allocated and not released.
AIRVANE_API long AllocationsCounted();
AIRVANE_API long TreeBlocksLive();

} // namespace airvane::xml
