#include "airvane/xml/internal/XMLMemory.h"

#include <cstdlib>
#include <new>

// The library's allocation countdown (XMLMemory.h) decides for the tree's blocks; this test
// executable's operator new asks it too, so that the reader's working data fails as well (unless
// valgrind has put its own operator new in place).

namespace {

// Counting starts before any test runs.
struct stTracking {
    stTracking() { airvane::xml::TrackAllocations(); }
} g_tracking;

void* Allocate(std::size_t bytes) noexcept {
    return airvane::xml::AllocationAllowed() ? std::malloc(bytes == 0 ? 1 : bytes) : nullptr;
}

void* AllocateOrThrow(std::size_t bytes) {
    void* block = Allocate(bytes);
    return block != nullptr ? block : throw std::bad_alloc();
}

} // namespace

// clang-format off
void* operator new(std::size_t bytes) { return AllocateOrThrow(bytes); }
void* operator new[](std::size_t bytes) { return AllocateOrThrow(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept { return Allocate(bytes); }
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept { return Allocate(bytes); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
// clang-format on
