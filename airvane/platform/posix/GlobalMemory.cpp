#include "airvane/platform/GlobalMemory.h"
#include "airvane/platform/internal/GlobalBlocks.h"
#include "airvane/platform/internal/WorkMemory.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <thread>

#include <pthread.h>

// Blocks of up to 16 KiB (the XML tree's strings and records: most are a few bytes) come from
// 64 KiB slabs of one size class each, packed with nothing between them; every slab starts on a
// 64 KiB boundary, so a block's slab is found from its address alone, and any module and any
// thread may release any block through GlobalRelease. A slab is given back once all its blocks
// are released (a few empty slabs per class are kept for reuse). A larger block is one of its own
// from the C library, placed on a 64 KiB boundary behind a header that reads as a slab of no
// class. Nothing here replaces or interposes malloc.
//
// Slabs are cut from chunks of 2 MiB, working memory mappings (WorkMemory.h), in huge pages where
// the system offers them: a large tree then costs one page fault per 2 MiB instead of one per
// 4 KiB. A chunk is given back once none of its slabs is in use (one empty chunk stays here). Under
// a memory checker the slabs come from the C library instead, so that its leak checker still
// looks inside them.
//
// Each thread keeps a short list of free blocks per class in front of the slabs: an allocation
// takes the list's first block and a release puts the block there, with no lock and without
// touching the slab. The list is filled from the slabs, and given back to them, a batch at a
// time under the class's lock. A block in a thread's list still counts as handed out for its
// slab, and the lists are given back when their thread ends.
//
// Memory checkers see every small block as a block of its own: AddressSanitizer through
// poisoning (free blocks, the bytes past a block's requested size and a 16-byte gap after every
// block are poisoned), valgrind through its malloc-like client requests (leaks and use after
// release are reported). A free block holds the link to the next one in its first word, which
// AddressSanitizer sees opened only while the allocator reads or writes it, and valgrind for as
// long as the block is free (a use of those bytes after release goes unreported there).

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

using namespace small_blocks;

// A free block, linked to the next through its first word.
struct stFree {
    stFree* next;
};

struct stChunk;

// At the start of each slab's memory; the blocks follow. A large block's header has the same
// form, with kOwnBlock for its class.
struct alignas(16) stSlab {
    stSlab* prev; // in the class's list of slabs with room
    stSlab* next;
    stChunk* chunk; // the chunk it was cut from; null for a slab from the C library
    stFree* freeBlocks;
    std::size_t unused; // offset of the first block never handed out
    std::size_t live;   // blocks handed out and not released
    std::uint32_t classIndex;
    bool listed;
    void* memory; // for a block of its own: the C library's block that holds it
};

constexpr std::uint32_t kOwnBlock = kClassCount;
constexpr std::size_t kFirstBlock = kSlabHeaderBytes;
static_assert(sizeof(stSlab) <= kFirstBlock && kFirstBlock % 16 == 0, "slab header size");

// Under AddressSanitizer every block is followed by a poisoned gap, so that a write past a block
// whose size is exactly its class's is caught as well.
#if defined(AIRVANE_ASAN)
constexpr std::size_t kGapBytes = 16;
#else
constexpr std::size_t kGapBytes = 0;
#endif

constexpr std::size_t Stride(std::size_t classIndex) {
    return kClassBytes[classIndex] + kGapBytes;
}

stSlab* SlabOf(void* block) {
    char* const at = static_cast<char*>(block);
    return reinterpret_cast<stSlab*>(at - reinterpret_cast<std::uintptr_t>(at) % kSlabBytes);
}

// Empty slabs kept per class for the next allocations, so that a program parsing one document
// after another does not get and zero fresh slabs for each: eight for each class up to 256
// bytes, where a tree's blocks are, one for each larger class (5.25 MiB at most in all).
constexpr std::size_t KeptEmptySlabs(std::size_t classIndex) {
    return kClassBytes[classIndex] <= 256 ? 8 : 1;
}

struct stClass {
    std::atomic_flag lock = ATOMIC_FLAG_INIT;
    stSlab* withRoom = nullptr; // slabs that can hand out a block
    std::size_t emptySlabs = 0; // slabs of that list with no block handed out
};

stClass g_classes[kClassCount];

#if defined(AIRVANE_VALGRIND_CLIENT)
// Whether the process runs under valgrind, asked once: outside it the client requests are skipped.
std::atomic<int> g_watched{-1};

bool Watched() {
    int watched = g_watched.load(std::memory_order_relaxed);
    if (__builtin_expect(watched < 0, false)) {
        watched = RUNNING_ON_VALGRIND != 0 ? 1 : 0;
        g_watched.store(watched, std::memory_order_relaxed);
    }
    return watched != 0;
}
#endif

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

void Lock(std::atomic_flag& lock) {
    // Taken at once unless another thread holds it: the waiting stays off the common path.
    while (__builtin_expect(lock.test_and_set(std::memory_order_acquire), false)) {
        std::this_thread::yield();
    }
}

void Unlock(std::atomic_flag& lock) {
    lock.clear(std::memory_order_release);
}

// The link in a free block's first word, opened to AddressSanitizer only while it is read or
// written: to it a free block is out of bounds. (Valgrind keeps that word open for as long as the
// block is free.)
stFree* NextOf(const stFree* block) {
    Show(block, sizeof(stFree));
    stFree* const next = block->next;
    Hide(block, sizeof(stFree));
    return next;
}

void SetNext(stFree* block, stFree* next) {
    Show(block, sizeof(stFree));
    block->next = next;
    Hide(block, sizeof(stFree));
}

class CSpinLock {
public:
    explicit CSpinLock(std::atomic_flag& lock) : m_lock(lock) { Lock(m_lock); }
    ~CSpinLock() { Unlock(m_lock); }
    CSpinLock(const CSpinLock&) = delete;
    CSpinLock& operator=(const CSpinLock&) = delete;

private:
    std::atomic_flag& m_lock;
};

// A class's slabs with room and the pool's chunks with slabs to give are lists linked through
// the items' own `prev` and `next`; `listed` tells whether an item is in its list.
template <class T> void Link(T*& head, T* item) {
    item->prev = nullptr;
    item->next = head;
    if (head != nullptr) {
        head->prev = item;
    }
    head = item;
    item->listed = true;
}

template <class T> void Unlink(T*& head, T* item) {
    (item->prev != nullptr ? item->prev->next : head) = item->next;
    if (item->next != nullptr) {
        item->next->prev = item->prev;
    }
    item->listed = false;
}

constexpr std::size_t kChunkBytes = std::size_t{2} << 20;
constexpr std::size_t kSlabsPerChunk = kChunkBytes / kSlabBytes;
// A working memory mapping starts on a 2 MiB boundary, so every slab cut from a chunk starts on a
// 64 KiB one.
static_assert(kChunkBytes % kSlabBytes == 0, "slabs tile a chunk");

// A chunk's record, kept apart from its memory, all of which is slabs.
struct stChunk {
    stChunk* prev; // in the pool's list of chunks with a slab to give
    stChunk* next;
    char* memory;
    void* freeSlabs;    // slabs given back, linked through their first word
    std::size_t unused; // slabs never cut from it
    std::size_t inUse;  // slabs cut and not given back
    bool listed;
};

// Empty chunks kept mapped for the next slabs, so that parsing small documents one after another
// does not map and unmap a chunk each time.
constexpr std::size_t kKeptEmptyChunks = 1;

// Taken inside a class's lock, never the other way round.
struct stChunkPool {
    std::atomic_flag lock = ATOMIC_FLAG_INIT;
    stChunk* withRoom = nullptr;
    std::size_t emptyChunks = 0; // chunks of that list with no slab in use
};

stChunkPool g_chunks;

stChunk* MapChunk() {
    auto* chunk = static_cast<stChunk*>(std::malloc(sizeof(stChunk)));
    void* memory = chunk != nullptr ? MapWorkMemory(kChunkBytes) : nullptr;
    if (memory == nullptr) {
        std::free(chunk);
        return nullptr;
    }
    return new (chunk) stChunk{nullptr, nullptr, static_cast<char*>(memory), nullptr, 0, 0, false};
}

bool SlabsFromTheCLibrary() {
#if defined(AIRVANE_ASAN)
    return true;
#elif defined(AIRVANE_VALGRIND_CLIENT)
    return Watched();
#else
    return false;
#endif
}

// `bytes` bytes from the C library on a 64 KiB boundary (released with free); null when no
// memory is left.
void* AlignedFromTheCLibrary(std::size_t bytes) {
    void* memory = nullptr;
    return posix_memalign(&memory, kSlabBytes, bytes) == 0 ? memory : nullptr;
}

// Memory for one slab, and the chunk it comes from (null: from the C library); null when no
// memory is left.
void* NewSlabMemory(stChunk*& from) {
    from = nullptr;
    if (SlabsFromTheCLibrary()) {
        return AlignedFromTheCLibrary(kSlabBytes);
    }
    CSpinLock lock(g_chunks.lock);
    stChunk* chunk = g_chunks.withRoom;
    if (chunk == nullptr) {
        chunk = MapChunk();
        if (chunk == nullptr) {
            return nullptr;
        }
        Link(g_chunks.withRoom, chunk);
    } else if (chunk->inUse == 0) {
        --g_chunks.emptyChunks;
    }
    void* memory = chunk->freeSlabs;
    if (memory != nullptr) {
        chunk->freeSlabs = *static_cast<void**>(memory);
    } else {
        memory = chunk->memory + chunk->unused * kSlabBytes;
        ++chunk->unused;
    }
    ++chunk->inUse;
    if (chunk->freeSlabs == nullptr && chunk->unused == kSlabsPerChunk) {
        Unlink(g_chunks.withRoom, chunk);
    }
    from = chunk;
    return memory;
}

void FreeSlabMemory(void* memory, stChunk* chunk) {
    if (chunk == nullptr) {
        std::free(memory);
        return;
    }
    CSpinLock lock(g_chunks.lock);
    *static_cast<void**>(memory) = chunk->freeSlabs;
    chunk->freeSlabs = memory;
    if (!chunk->listed) {
        Link(g_chunks.withRoom, chunk);
    }
    if (--chunk->inUse == 0) {
        if (g_chunks.emptyChunks < kKeptEmptyChunks) {
            ++g_chunks.emptyChunks;
        } else {
            Unlink(g_chunks.withRoom, chunk);
            UnmapWorkMemory(chunk->memory, kChunkBytes);
            std::free(chunk);
        }
    }
}

// Around a fork the forking thread holds every class lock, the chunk pool's and the kept
// mappings', in the order they nest, so the child never starts with one held by a thread it does
// not have.
void LockAll() {
    for (stClass& owner : g_classes) {
        Lock(owner.lock);
    }
    Lock(g_chunks.lock);
    LockWorkMemory();
}

void UnlockAll() {
    UnlockWorkMemory();
    Unlock(g_chunks.lock);
    for (stClass& owner : g_classes) {
        Unlock(owner.lock);
    }
}

// A new slab for the class, listed as having room; null when no memory is left. Its blocks are
// not cleared: a block is zeroed when it is handed out, if the caller asks for that.
[[gnu::noinline]] stSlab* AddSlab(stClass& owner, std::size_t classIndex) {
    stChunk* chunk = nullptr;
    void* memory = NewSlabMemory(chunk);
    if (memory == nullptr) {
        return nullptr;
    }
    stSlab* slab = new (memory) stSlab{};
    slab->chunk = chunk;
    slab->unused = kFirstBlock;
    slab->classIndex = static_cast<std::uint32_t>(classIndex);
    Hide(static_cast<char*>(memory) + kFirstBlock, kSlabBytes - kFirstBlock);
    Link(owner.withRoom, slab);
    ++owner.emptySlabs;
    return slab;
}

// Blocks a thread's list takes from the slabs at a time: 64 for the classes up to 256 bytes,
// fewer for larger ones, so that a list holds at most 32 KiB or so; the list gives a batch back
// once it holds two.
constexpr std::size_t kMostInBatch = 64;
struct stBatches {
    std::uint16_t blocks[kClassCount];
    constexpr stBatches() : blocks() {
        constexpr std::size_t kBatchBytes = 16 * 1024;
        for (std::size_t i = 0; i < kClassCount; ++i) {
            const std::size_t fit = kBatchBytes / kClassBytes[i];
            blocks[i] = static_cast<std::uint16_t>(fit >= kMostInBatch ? kMostInBatch : fit == 0 ? 1 : fit);
        }
    }
};
constexpr stBatches kBatches;

std::uint32_t BatchOf(std::size_t classIndex) {
    return kBatches.blocks[classIndex];
}

// One thread's lists of free blocks. Zero-initialised and trivially destructible, so reaching it
// costs no initialisation check.
struct stThreadCache {
    enum : std::uint8_t {
        kUnregistered, // nothing arranged for the thread's end yet
        kListed,       // the thread's end gives the blocks back
        kUnlisted,     // the thread is ending, or its end could not be arranged for: blocks go
                       // straight to and from the slabs
    };
    stFree* blocks[kClassCount];
    // Blocks in each list, and how many it may hold before it gives a batch back (two batches
    // once the thread's end is arranged for, otherwise none). A list never holds more than two
    // batches and one block.
    std::uint8_t counts[kClassCount];
    std::uint8_t limits[kClassCount];
    std::uint8_t state;
};
static_assert(2 * kMostInBatch + 1 <= 255, "a list's count fits its field");

// In the static thread-local block (about 220 bytes, well within what the C library keeps for
// modules loaded later), so reaching it is one instruction instead of a call.
thread_local stThreadCache t_cache [[gnu::tls_model("initial-exec")]];

void Push(stThreadCache& cache, std::size_t classIndex, stFree* block) {
    SetNext(block, cache.blocks[classIndex]);
    cache.blocks[classIndex] = block;
    ++cache.counts[classIndex];
}

stFree* Pop(stThreadCache& cache, std::size_t classIndex) {
    stFree* block = cache.blocks[classIndex];
    cache.blocks[classIndex] = NextOf(block);
    --cache.counts[classIndex];
    return block;
}

// Takes up to `wanted` blocks from the slab onto `chain`; returns how many it took. The head of
// the slab's free list is taken as it is linked.
std::uint32_t TakeFromSlab(stSlab* slab, std::size_t stride, std::uint32_t wanted, stFree*& chain) {
    std::uint32_t taken = 0;
    stFree* freeBlocks = slab->freeBlocks;
    if (freeBlocks != nullptr) {
        stFree* const first = freeBlocks;
        stFree* last;
        do {
            last = freeBlocks;
            freeBlocks = NextOf(last);
        } while (++taken < wanted && freeBlocks != nullptr);
        SetNext(last, chain);
        chain = first;
        slab->freeBlocks = freeBlocks;
    }
    // Blocks never handed out go onto the chain in address order, so that blocks allocated one
    // after another (a node's attribute records, say) lie one after another in memory, and a
    // later walk through them, freeing the tree, runs forward through memory.
    const std::size_t room = (kSlabBytes - slab->unused) / stride;
    const std::size_t fresh = std::min<std::size_t>(wanted - taken, room);
    if (fresh != 0) {
        char* const first = reinterpret_cast<char*>(slab) + slab->unused;
        for (std::size_t i = 0; i < fresh; ++i) {
            auto* block = reinterpret_cast<stFree*>(first + i * stride);
            SetNext(block, i + 1 < fresh ? reinterpret_cast<stFree*>(first + (i + 1) * stride) : chain);
        }
        chain = reinterpret_cast<stFree*>(first);
        slab->unused += fresh * stride;
        taken += static_cast<std::uint32_t>(fresh);
    }
    slab->live += taken;
    return taken;
}

// Moves up to `wanted` blocks from the class's slabs to the front of the thread's list, under the
// class's lock; false when none could be had.
bool Refill(stThreadCache& cache, std::size_t classIndex, std::uint32_t wanted) {
    const std::size_t stride = Stride(classIndex);
    stClass& owner = g_classes[classIndex];
    stFree* chain = cache.blocks[classIndex];
    std::uint32_t taken = 0;
    {
        CSpinLock lock(owner.lock);
        while (taken < wanted) {
            stSlab* slab = owner.withRoom != nullptr ? owner.withRoom : AddSlab(owner, classIndex);
            if (slab == nullptr) {
                break;
            }
            if (slab->live == 0) {
                --owner.emptySlabs;
            }
            taken += TakeFromSlab(slab, stride, wanted - taken, chain);
            if (slab->freeBlocks == nullptr && slab->unused + stride > kSlabBytes) {
                Unlink(owner.withRoom, slab);
            }
        }
    }
    cache.blocks[classIndex] = chain;
    cache.counts[classIndex] = static_cast<std::uint8_t>(cache.counts[classIndex] + taken);
    return taken != 0;
}

// A slab that got a block back: it has room again, and once empty it is given back unless enough
// empty ones are kept already.
void Regained(stClass& owner, stSlab* slab) {
    if (!slab->listed) {
        Link(owner.withRoom, slab);
    }
    if (slab->live == 0) {
        if (owner.emptySlabs < KeptEmptySlabs(slab->classIndex)) {
            // Every block is free: the slab starts over, so that its blocks are handed out again
            // in address order instead of by following the free list through memory.
            slab->freeBlocks = nullptr;
            slab->unused = kFirstBlock;
            ++owner.emptySlabs;
        } else {
            Unlink(owner.withRoom, slab);
            Show(slab, kSlabBytes);
            FreeSlabMemory(slab, slab->chunk);
        }
    }
}

// Gives the first `count` blocks of the thread's list back to their slabs, under the class's lock.
// Blocks released one after another mostly share a slab, so each run of blocks of one slab goes
// onto the slab's free list as it is.
void Drain(stThreadCache& cache, std::size_t classIndex, std::uint32_t count) {
    stClass& owner = g_classes[classIndex];
    stFree* block = cache.blocks[classIndex];
    cache.counts[classIndex] = static_cast<std::uint8_t>(cache.counts[classIndex] - count);
    CSpinLock lock(owner.lock);
    while (count != 0) {
        stSlab* const slab = SlabOf(block);
        stFree* const first = block;
        stFree* last;
        std::size_t run = 0;
        do {
            last = block;
            block = NextOf(last);
            ++run;
        } while (--count != 0 && SlabOf(block) == slab);
        SetNext(last, slab->freeBlocks);
        slab->freeBlocks = first;
        slab->live -= run;
        if (slab->live == 0 || !slab->listed) {
            Regained(owner, slab);
        }
    }
    cache.blocks[classIndex] = block;
}

// At a thread's end its lists go back to the slabs; any block it allocates or releases later
// (in other exit handlers) goes straight to and from the slabs.
void DrainThread(void* cache) {
    auto* ending = static_cast<stThreadCache*>(cache);
    ending->state = stThreadCache::kUnlisted;
    std::fill(std::begin(ending->limits), std::end(ending->limits), std::uint8_t{0});
    for (std::size_t classIndex = 0; classIndex < kClassCount; ++classIndex) {
        Drain(*ending, classIndex, ending->counts[classIndex]);
    }
}

// The thread and process events the allocator follows: a thread's end (its lists go back to the
// slabs) and a fork (the class locks are held across it).
class CThreadHooks {
public:
    CThreadHooks() {
        m_valid = pthread_key_create(&m_key, DrainThread) == 0;
        pthread_atfork(LockAll, UnlockAll, UnlockAll);
    }
    // Once the library is unloaded no thread may call back into it (the C library forgets the
    // fork handlers of an unloaded module itself).
    ~CThreadHooks() {
        if (m_valid) {
            pthread_key_delete(m_key);
        }
    }
    CThreadHooks(const CThreadHooks&) = delete;
    CThreadHooks& operator=(const CThreadHooks&) = delete;

    // Asks for the thread's lists to be given back at its end; false if that cannot be arranged.
    bool Register(stThreadCache& cache) const { return m_valid && pthread_setspecific(m_key, &cache) == 0; }

private:
    pthread_key_t m_key{};
    bool m_valid = false;
};

const CThreadHooks g_threadHooks;

// When the library is unloaded (or the process ends) the pool gives back to the system all it
// holds that no block in use needs: the unloading thread's lists, the empty slabs kept for reuse
// and the chunks with no slab in use. A host that loads and unloads the library again and again
// would otherwise pile them up, as nothing can reach them once the library is gone. Blocks still
// handed out (a host may keep them past the unload) stay valid, and so do their slabs and chunks.
// The lists of threads other than the unloading one cannot be reached from here: their blocks
// keep their slabs. Defined after g_threadHooks, so that it is destroyed before it.
class CPoolRelease {
public:
    CPoolRelease() = default;
    CPoolRelease(const CPoolRelease&) = delete;
    CPoolRelease& operator=(const CPoolRelease&) = delete;
    ~CPoolRelease() {
        DrainThread(&t_cache);
        for (stClass& owner : g_classes) {
            const CSpinLock lock(owner.lock);
            // Every slab with no block handed out has room, so it is in this list.
            for (stSlab* slab = owner.withRoom; slab != nullptr;) {
                stSlab* const next = slab->next;
                if (slab->live == 0) {
                    Unlink(owner.withRoom, slab);
                    --owner.emptySlabs;
                    Show(slab, kSlabBytes);
                    FreeSlabMemory(slab, slab->chunk);
                }
                slab = next;
            }
        }
        const CSpinLock lock(g_chunks.lock);
        // Likewise every chunk with no slab in use has slabs to give.
        for (stChunk* chunk = g_chunks.withRoom; chunk != nullptr;) {
            stChunk* const next = chunk->next;
            if (chunk->inUse == 0) {
                Unlink(g_chunks.withRoom, chunk);
                --g_chunks.emptyChunks;
                UnmapWorkMemory(chunk->memory, kChunkBytes);
                std::free(chunk);
            }
            chunk = next;
        }
    }
};

const CPoolRelease g_poolRelease;

// A thread whose lists could not be registered for its end works without them.
bool UsesList(stThreadCache& cache) {
    if (cache.state == stThreadCache::kUnregistered) {
        cache.state = g_threadHooks.Register(cache) ? stThreadCache::kListed : stThreadCache::kUnlisted;
        if (cache.state == stThreadCache::kListed) {
            for (std::size_t classIndex = 0; classIndex < kClassCount; ++classIndex) {
                cache.limits[classIndex] = static_cast<std::uint8_t>(2 * BatchOf(classIndex));
            }
        }
    }
    return cache.state == stThreadCache::kListed;
}

// The first block of the thread's list (which holds one) for a request of `bytes` bytes.
void* HandOut(stThreadCache& cache, std::size_t classIndex, std::size_t bytes, bool zeroed) {
    void* block = Pop(cache, classIndex);
#if defined(AIRVANE_VALGRIND_CLIENT)
    if (Watched()) {
        VALGRIND_MALLOCLIKE_BLOCK(block, bytes, 0, zeroed ? 1 : 0);
    }
#endif
    Show(block, bytes);
    return zeroed ? std::memset(block, 0, bytes) : block;
}

[[gnu::noinline]] void* AllocateAfterRefill(std::size_t classIndex, std::size_t bytes, bool zeroed) {
    stThreadCache& cache = t_cache;
    if (!Refill(cache, classIndex, UsesList(cache) ? BatchOf(classIndex) : 1)) {
        return nullptr;
    }
    return HandOut(cache, classIndex, bytes, zeroed);
}

// A block of its own: on a 64 KiB boundary of the C library's memory, behind a header that reads
// as a slab of no class.
//
// The C library's aligned allocation is not used for these: glibc maps such a block afresh for
// every request of its size (its trimming to the boundary defeats the threshold it raises once a
// mapped block is released), and a large value parsed again and again then faults in its pages
// every time. A plain block of 64 KiB more, whose first boundary holds the header, is served
// from the heap like any other after its first release; the bytes before the boundary are never
// written.
[[gnu::noinline]] void* AllocateLarge(std::size_t bytes, bool zeroed) {
    if (bytes > static_cast<std::size_t>(-1) - kSlabBytes - kFirstBlock) {
        return nullptr;
    }
    void* memory = std::malloc(kSlabBytes + kFirstBlock + bytes);
    if (memory == nullptr) {
        return nullptr;
    }
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(memory);
    char* const boundary = static_cast<char*>(memory) + ((kSlabBytes - start % kSlabBytes) % kSlabBytes);
    stSlab* header = new (boundary) stSlab{};
    header->classIndex = kOwnBlock;
    header->memory = memory;
    char* const block = boundary + kFirstBlock;
    return zeroed ? std::memset(block, 0, bytes) : block;
}

// A list over its limit gives a batch back (all of it when the thread works without lists). A
// thread's first release may come here before its first allocation: it arranges for the lists.
[[gnu::noinline]] void DrainList(stThreadCache& cache, std::size_t classIndex) {
    const std::uint32_t held = cache.counts[classIndex];
    if (!UsesList(cache)) {
        Drain(cache, classIndex, held);
    } else if (held > cache.limits[classIndex]) {
        Drain(cache, classIndex, std::min(held, BatchOf(classIndex)));
    }
}

void ReleaseSmall(std::size_t classIndex, void* block) {
    Hide(block, kClassBytes[classIndex]);
#if defined(AIRVANE_VALGRIND_CLIENT)
    if (Watched()) {
        VALGRIND_FREELIKE_BLOCK(block, 0);
        VALGRIND_MAKE_MEM_UNDEFINED(block, sizeof(stFree));
    }
#endif
    stThreadCache& cache = t_cache;
    Push(cache, classIndex, static_cast<stFree*>(block));
    if (__builtin_expect(cache.counts[classIndex] > cache.limits[classIndex], false)) {
        DrainList(cache, classIndex);
    }
}

} // namespace

void* GlobalAllocBlock(std::size_t bytes, bool zeroed) {
    // Most requests are small enough for the table: one test on their way. A request of zero
    // bytes gets a block of the smallest class: null still means no memory.
    std::size_t classIndex;
    if (__builtin_expect(bytes <= kTabledBytes, true)) {
        classIndex = TabledClassOf(bytes);
    } else if (bytes <= kLargest) {
        classIndex = LargerClassOf(bytes);
    } else {
        return AllocateLarge(bytes, zeroed);
    }
    stThreadCache& cache = t_cache;
    if (__builtin_expect(cache.blocks[classIndex] == nullptr, false)) {
        return AllocateAfterRefill(classIndex, bytes, zeroed);
    }
    return HandOut(cache, classIndex, bytes, zeroed);
}

void GlobalReleaseBlock(void* block) {
    if (block == nullptr) {
        return;
    }
    stSlab* const slab = SlabOf(block);
    const std::size_t classIndex = slab->classIndex;
    if (classIndex == kOwnBlock) {
        std::free(slab->memory);
        return;
    }
    ReleaseSmall(classIndex, block);
}

void* GlobalAllocZeroed(std::size_t bytes) {
    return GlobalAllocBlock(bytes, true);
}

void GlobalRelease(void* block) {
    GlobalReleaseBlock(block);
}

} // namespace airvane::platform
