#include "airvane/platform/internal/WorkMemory.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>

#include <sys/mman.h>

namespace airvane::platform {

namespace {

// The size of a huge page on the machines served here; a mapping starts on such a boundary and
// spans whole ones, so that every part of it can be served by huge pages.
constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

// Mappings given back are kept for later requests, so that parsing one large document after
// another neither maps nor faults in its memory again: the latest kKeptMappings of them,
// kKeptBytes at most in all. A request takes the smallest kept mapping that holds it, so that
// documents of other shapes, whose arrays differ in size, still find their memory there (the
// system zeroes every page of fresh memory, which on a virtual machine costs several times the
// parse that uses it). Their pages stay as they are: marked lazily freeable (MADV_FREE), every
// later write to them traps again on a virtual machine with shadow page tables, which costs more
// than the faults it would save.
constexpr std::size_t kKeptMappings = 128;
constexpr std::size_t kKeptBytes = std::size_t{256} << 20;

struct stKept {
    void* block;
    std::size_t bytes;
};

struct stKeptMappings {
    std::atomic_flag lock = ATOMIC_FLAG_INIT;
    stKept mappings[kKeptMappings] = {};
    std::size_t count = 0;
    std::size_t bytes = 0;
    // Kept mappings handed out for a smaller request, with their whole size, which their release
    // (given the request's size) looks up here.
    stKept lent[kKeptMappings] = {};
    std::size_t lentCount = 0;
    bool closed = false; // given back at the library's unload: nothing is kept any more
};

stKeptMappings g_kept;

class CKeptLock {
public:
    CKeptLock() { LockWorkMemory(); }
    ~CKeptLock() { UnlockWorkMemory(); }
    CKeptLock(const CKeptLock&) = delete;
    CKeptLock& operator=(const CKeptLock&) = delete;
};

std::size_t Rounded(std::size_t bytes) {
    return (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
}

// The smallest kept mapping of at least `size` bytes (the latest given back among equals), or
// null. A larger one is handed out only while there is room to remember its size. The kept
// mappings are in the order they were given back, oldest first.
void* TakeKept(std::size_t size) {
    const CKeptLock lock;
    const bool mayLend = g_kept.lentCount < kKeptMappings;
    std::size_t best = g_kept.count;
    for (std::size_t i = g_kept.count; i-- != 0;) {
        const std::size_t bytes = g_kept.mappings[i].bytes;
        if (bytes == size) {
            best = i;
            break;
        }
        if (mayLend && bytes > size && (best == g_kept.count || bytes < g_kept.mappings[best].bytes)) {
            best = i;
        }
    }
    if (best == g_kept.count) {
        return nullptr;
    }
    const stKept taken = g_kept.mappings[best];
    std::copy(g_kept.mappings + best + 1, g_kept.mappings + g_kept.count, g_kept.mappings + best);
    --g_kept.count;
    g_kept.bytes -= taken.bytes;
    if (taken.bytes != size) {
        g_kept.lent[g_kept.lentCount++] = taken;
    }
    return taken.block;
}

// The whole size of a mapping given back for a request of `size` bytes.
std::size_t MappedSize(void* block, std::size_t size) {
    const CKeptLock lock;
    for (std::size_t i = 0; i < g_kept.lentCount; ++i) {
        if (g_kept.lent[i].block == block) {
            const std::size_t bytes = g_kept.lent[i].bytes;
            g_kept.lent[i] = g_kept.lent[--g_kept.lentCount];
            return bytes;
        }
    }
    return size;
}

// Keeps the mapping, unmapping the oldest kept ones to make room; false when it is too large to
// be kept at all.
bool Keep(void* block, std::size_t size) {
    if (size > kKeptBytes) {
        return false;
    }
    stKept evicted[kKeptMappings];
    std::size_t dropped = 0;
    {
        const CKeptLock lock;
        if (g_kept.closed) {
            return false;
        }
        while (g_kept.count - dropped == kKeptMappings || size > kKeptBytes - g_kept.bytes) {
            evicted[dropped] = g_kept.mappings[dropped];
            g_kept.bytes -= evicted[dropped].bytes;
            ++dropped;
        }
        std::copy(g_kept.mappings + dropped, g_kept.mappings + g_kept.count, g_kept.mappings);
        g_kept.count -= dropped;
        g_kept.mappings[g_kept.count++] = {block, size};
        g_kept.bytes += size;
    }
    for (std::size_t i = 0; i < dropped; ++i) {
        munmap(evicted[i].block, evicted[i].bytes);
    }
    return true;
}

// When the library is unloaded (or the process ends) the kept mappings go back to the system, so
// that a host loading and unloading the library does not pile them up. Mappings given back after
// that (by static destructors that run later, the global memory's among them) are unmapped at
// once.
class CKeptRelease {
public:
    CKeptRelease() = default;
    CKeptRelease(const CKeptRelease&) = delete;
    CKeptRelease& operator=(const CKeptRelease&) = delete;
    ~CKeptRelease() {
        const CKeptLock lock;
        for (std::size_t i = 0; i < g_kept.count; ++i) {
            munmap(g_kept.mappings[i].block, g_kept.mappings[i].bytes);
        }
        g_kept.count = 0;
        g_kept.bytes = 0;
        g_kept.closed = true;
    }
};

const CKeptRelease g_keptRelease;

} // namespace

void LockWorkMemory() {
    // Taken at once unless another thread holds it: the waiting stays off the common path.
    while (__builtin_expect(g_kept.lock.test_and_set(std::memory_order_acquire), false)) {
        std::this_thread::yield();
    }
}

void UnlockWorkMemory() {
    g_kept.lock.clear(std::memory_order_release);
}

void* MapWorkMemory(std::size_t bytes) {
    if (bytes == 0 || bytes > static_cast<std::size_t>(-1) - 2 * kHugePageBytes) {
        return nullptr;
    }
    const std::size_t size = Rounded(bytes);
    if (void* kept = TakeKept(size)) {
        return kept;
    }
    // Mapped a huge page longer than asked, then trimmed to the first boundary at both ends.
    void* mapped =
        mmap(nullptr, size + kHugePageBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        return nullptr;
    }
    char* const start = static_cast<char*>(mapped);
    const std::size_t before =
        (kHugePageBytes - reinterpret_cast<std::uintptr_t>(start) % kHugePageBytes) % kHugePageBytes;
    char* const block = start + before;
    if (before != 0) {
        munmap(start, before);
    }
    const std::size_t after = kHugePageBytes - before;
    if (after != 0) {
        munmap(block + size, after);
    }
#if defined(MADV_HUGEPAGE)
    // Only a hint: where the system keeps huge pages for those who ask, a fault maps 2 MiB.
    madvise(block, size, MADV_HUGEPAGE);
#endif
    return block;
}

void UnmapWorkMemory(void* block, std::size_t bytes) {
    const std::size_t size = MappedSize(block, Rounded(bytes));
    if (Keep(block, size)) {
        return;
    }
    munmap(block, size);
}

} // namespace airvane::platform
