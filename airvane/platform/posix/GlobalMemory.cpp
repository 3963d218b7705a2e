#include "airvane/platform/GlobalMemory.h"
#include "airvane/platform/internal/GlobalBlocks.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

// Small blocks (the XML tree's strings: most are a few bytes) come from slabs of one size class
// each; larger ones from the C library (malloc or calloc). Every block is preceded by a 16-byte header naming
// its slab (none for a block of its own), so any module and any thread may release any block through
// GlobalRelease, and a slab goes back to the C library once all its blocks are released (a few
// empty slabs per class are kept for reuse). Nothing here replaces or interposes malloc.
//
// Memory checkers see every small block as a block of its own: AddressSanitizer through
// poisoning (headers, free blocks and the bytes past a block's requested size are poisoned),
// valgrind through its malloc-like client requests (leaks and use after release are reported).

#if defined(__has_include)
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#define AIRVANE_VALGRIND_CLIENT 1
#endif
#endif

#if defined(__SANITIZE_ADDRESS__)
#define AIRVANE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define AIRVANE_ASAN 1
#endif
#endif
#if defined(AIRVANE_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace airvane::platform {

namespace {

constexpr std::size_t kHeaderBytes = 16;
constexpr std::size_t kSlabBytes = 64 * 1024;
// Payload bytes of each class; larger requests go to the C library.
constexpr std::size_t kClassBytes[] = {16, 32, 48, 64, 96, 128, 192, 256};
constexpr std::size_t kClassCount = sizeof kClassBytes / sizeof kClassBytes[0];
constexpr std::size_t kLargest = kClassBytes[kClassCount - 1];

struct stSlab;

// Before every block. `slab` is null for a block of its own; `nextFree` links released blocks.
struct alignas(16) stHeader {
    stSlab* slab;
    stHeader* nextFree;
};
static_assert(sizeof(stHeader) == kHeaderBytes, "block header size");

// At the start of each slab's memory; the blocks follow.
struct alignas(16) stSlab {
    stSlab* prev; // in the class's list of slabs with room
    stSlab* next;
    stHeader* freeBlocks;
    std::size_t unused; // offset of the first block never handed out
    std::size_t live;   // blocks handed out and not released
    std::uint32_t classIndex;
    bool listed;
};

constexpr std::size_t kFirstBlock = (sizeof(stSlab) + 15) / 16 * 16;

// Empty slabs kept per class for the next allocations, so that a program parsing one document
// after another does not get and zero fresh slabs for each (at most 4 MiB in all).
constexpr std::size_t kKeptEmptySlabs = 8;

struct stClass {
    std::atomic_flag lock = ATOMIC_FLAG_INIT;
    stSlab* withRoom = nullptr; // slabs that can hand out a block
    std::size_t emptySlabs = 0; // slabs of that list with no block handed out
};

stClass g_classes[kClassCount];

void Hide(const void* at, std::size_t bytes) {
#if defined(AIRVANE_ASAN)
    ASAN_POISON_MEMORY_REGION(at, bytes);
#else
    (void)at;
    (void)bytes;
#endif
}

void Show(const void* at, std::size_t bytes) {
#if defined(AIRVANE_ASAN)
    ASAN_UNPOISON_MEMORY_REGION(at, bytes);
#else
    (void)at;
    (void)bytes;
#endif
}

class CClassLock {
public:
    explicit CClassLock(stClass& owner) : m_owner(owner) {
        // Taken at once unless another thread holds it: the waiting stays off the common path.
        while (__builtin_expect(m_owner.lock.test_and_set(std::memory_order_acquire), false)) {
            std::this_thread::yield();
        }
    }
    ~CClassLock() { m_owner.lock.clear(std::memory_order_release); }
    CClassLock(const CClassLock&) = delete;
    CClassLock& operator=(const CClassLock&) = delete;

private:
    stClass& m_owner;
};

// The class of a request of 1 to kLargest bytes, by its size in 16-byte units (rounded up).
constexpr std::uint8_t kClassBySixteenths[] = {0, 0, 1, 2, 3, 4, 4, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7};
static_assert(sizeof kClassBySixteenths == kLargest / 16 + 1, "one class per 16-byte step");

std::size_t ClassOf(std::size_t bytes) {
    return kClassBySixteenths[(bytes + 15) / 16];
}

void Link(stClass& owner, stSlab* slab) {
    slab->prev = nullptr;
    slab->next = owner.withRoom;
    if (owner.withRoom != nullptr) {
        owner.withRoom->prev = slab;
    }
    owner.withRoom = slab;
    slab->listed = true;
}

void Unlink(stClass& owner, stSlab* slab) {
    (slab->prev != nullptr ? slab->prev->next : owner.withRoom) = slab->next;
    if (slab->next != nullptr) {
        slab->next->prev = slab->prev;
    }
    slab->listed = false;
}

// A new slab for the class, listed as having room; null when no memory is left. Its blocks are
// not cleared: a block is zeroed when it is handed out, if the caller asks for that.
[[gnu::noinline]] stSlab* AddSlab(stClass& owner, std::size_t classIndex) {
    void* memory = std::malloc(kSlabBytes);
    if (memory == nullptr) {
        return nullptr;
    }
    stSlab* slab = new (memory) stSlab{};
    slab->unused = kFirstBlock;
    slab->classIndex = static_cast<std::uint32_t>(classIndex);
    Hide(static_cast<char*>(memory) + kFirstBlock, kSlabBytes - kFirstBlock);
    Link(owner, slab);
    ++owner.emptySlabs;
    return slab;
}

void* AllocateSmall(std::size_t bytes, bool zeroed) {
    const std::size_t classIndex = ClassOf(bytes);
    const std::size_t stride = kHeaderBytes + kClassBytes[classIndex];
    stClass& owner = g_classes[classIndex];
    stHeader* header;
    {
        CClassLock lock(owner);
        stSlab* slab = owner.withRoom != nullptr ? owner.withRoom : AddSlab(owner, classIndex);
        if (slab == nullptr) {
            return nullptr;
        }
        if (slab->live == 0) {
            --owner.emptySlabs;
        }
        if (slab->freeBlocks != nullptr) {
            header = slab->freeBlocks;
            Show(header, kHeaderBytes);
            slab->freeBlocks = header->nextFree;
        } else {
            header = reinterpret_cast<stHeader*>(reinterpret_cast<char*>(slab) + slab->unused);
            slab->unused += stride;
            Show(header, kHeaderBytes);
            header->slab = slab;
        }
        header->nextFree = nullptr;
        Hide(header, kHeaderBytes);
        ++slab->live;
        if (slab->freeBlocks == nullptr && slab->unused + stride > kSlabBytes) {
            Unlink(owner, slab);
        }
    }
    char* block = reinterpret_cast<char*>(header) + kHeaderBytes;
#if defined(AIRVANE_VALGRIND_CLIENT)
    VALGRIND_MALLOCLIKE_BLOCK(block, bytes, 0, zeroed ? 1 : 0);
#endif
    Show(block, bytes);
    if (zeroed) {
        std::memset(block, 0, bytes);
    }
    return block;
}

void ReleaseSmall(stSlab* slab, stHeader* header) {
    char* block = reinterpret_cast<char*>(header) + kHeaderBytes;
    stClass& owner = g_classes[slab->classIndex];
    const std::size_t bytes = kClassBytes[slab->classIndex];
    Hide(block, bytes);
#if defined(AIRVANE_VALGRIND_CLIENT)
    VALGRIND_FREELIKE_BLOCK(block, 0);
#endif
    CClassLock lock(owner);
    Show(header, kHeaderBytes);
    header->nextFree = slab->freeBlocks;
    Hide(header, kHeaderBytes);
    slab->freeBlocks = header;
    --slab->live;
    if (!slab->listed) {
        Link(owner, slab);
    }
    // An empty slab goes back to the C library unless enough empty ones are kept already.
    if (slab->live == 0) {
        if (owner.emptySlabs < kKeptEmptySlabs) {
            ++owner.emptySlabs;
        } else {
            Unlink(owner, slab);
            Show(slab, kSlabBytes);
            std::free(slab);
        }
    }
}

} // namespace

void* GlobalAllocBlock(std::size_t bytes, bool zeroed) {
    // A block of at least one byte keeps "null means no memory".
    const std::size_t wanted = bytes == 0 ? 1 : bytes;
    if (wanted <= kLargest) {
        return AllocateSmall(wanted, zeroed);
    }
    if (wanted > static_cast<std::size_t>(-1) - kHeaderBytes) {
        return nullptr;
    }
    void* memory = zeroed ? std::calloc(1, kHeaderBytes + wanted) : std::malloc(kHeaderBytes + wanted);
    if (memory == nullptr) {
        return nullptr;
    }
    new (memory) stHeader{}; // no slab
    return static_cast<char*>(memory) + kHeaderBytes;
}

void GlobalReleaseBlock(void* block) {
    if (block == nullptr) {
        return;
    }
    stHeader* header = reinterpret_cast<stHeader*>(static_cast<char*>(block) - kHeaderBytes);
    Show(header, kHeaderBytes);
    stSlab* slab = header->slab;
    if (slab == nullptr) {
        std::free(header);
        return;
    }
    Hide(header, kHeaderBytes);
    ReleaseSmall(slab, header);
}

void* GlobalAllocZeroed(std::size_t bytes) {
    return GlobalAllocBlock(bytes, true);
}

void GlobalRelease(void* block) {
    GlobalReleaseBlock(block);
}

} // namespace airvane::platform
