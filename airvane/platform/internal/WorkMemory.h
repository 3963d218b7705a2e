#pragma once

// Working memory of the library's own algorithms (the XML reader's index, attribute ranges
// and decoding scratch) and the memory the global blocks' slabs are cut from. A block
// of 256 KiB or more is mapped from the system on its own (on POSIX systems aligned to and
// rounded up to whole 2 MiB pages, in huge pages where the system offers them, and kept for reuse
// once given back), so that a large text costs one page fault per 2 MiB instead of one per 4 KiB
// page, and the next parse none; smaller blocks come from operator new. Not part of the exported
// interface.

#include <cstddef>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace airvane::platform {

// Blocks of at least this many bytes are mapped.
constexpr std::size_t kMappedWorkBytes = std::size_t{256} << 10;

// A mapped block of at least `bytes` bytes, or null when the system has no memory for it;
// released with UnmapWorkMemory and the same `bytes`. Its contents are unspecified: a mapping
// kept for reuse still holds what was written into it before (a fresh one is zero-filled).
void* MapWorkMemory(std::size_t bytes);
void UnmapWorkMemory(void* block, std::size_t bytes);

// The lock of the mappings kept for reuse, taken by the global memory's fork handlers after
// their own locks, so that a child process never starts with it held.
void LockWorkMemory();
void UnlockWorkMemory();

// A standard allocator over that memory; it throws std::bad_alloc when none is left.
template <class T> class CWorkAllocator {
public:
    using value_type = T;

    CWorkAllocator() noexcept = default;
    template <class U> explicit CWorkAllocator(const CWorkAllocator<U>& /*other*/) noexcept {}

    T* allocate(std::size_t count) {
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        const std::size_t bytes = count * sizeof(T);
        if (bytes < kMappedWorkBytes) {
            return static_cast<T*>(::operator new(bytes));
        }
        void* block = MapWorkMemory(bytes);
        if (block == nullptr) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(block);
    }

    void deallocate(T* block, std::size_t count) noexcept {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < kMappedWorkBytes) {
            ::operator delete(block);
        } else {
            UnmapWorkMemory(block, bytes);
        }
    }

    // An element made without a value is left as `new U` leaves it (a number is not zeroed): the
    // arrays sized up front are written in full before they are read, and zeroing them first
    // would only add a pass over memory.
    template <class U> void construct(U* element) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(element)) U;
    }
    template <class U, class... Args> void construct(U* element, Args&&... args) {
        ::new (static_cast<void*>(element)) U(std::forward<Args>(args)...);
    }

    template <class U> bool operator==(const CWorkAllocator<U>& /*other*/) const noexcept { return true; }
    template <class U> bool operator!=(const CWorkAllocator<U>& /*other*/) const noexcept { return false; }
};

template <class T> using WorkVector = std::vector<T, CWorkAllocator<T>>;

} // namespace airvane::platform
