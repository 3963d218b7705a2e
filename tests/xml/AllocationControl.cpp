#include "tests/xml/AllocationControl.h"

#include "airvane/xml/XMLTree.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> g_armed{false};
std::atomic<bool> g_failOnce{false};
std::atomic<long> g_successesLeft{0};
std::atomic<long> g_count{0};
std::atomic<long> g_live{0};

void* Allocate(std::size_t bytes) noexcept {
    g_count.fetch_add(1);
    if (g_armed.load() && g_successesLeft.fetch_sub(1) <= 0) {
        if (g_failOnce.load()) {
            g_armed.store(false);
        }
        return nullptr;
    }
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    g_live.fetch_add(block != nullptr ? 1 : 0);
    return block;
}

void* AllocateOrThrow(std::size_t bytes) {
    void* block = Allocate(bytes);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void Release(void* block) noexcept {
    if (block != nullptr) {
        g_live.fetch_sub(1);
        std::free(block);
    }
}

} // namespace

namespace airvane::test {

void FailAllocationsAfter(long successes, bool failOnce) {
    g_successesLeft.store(successes);
    g_failOnce.store(failOnce);
    g_count.store(0);
    g_armed.store(true);
}

void StopFailingAllocations() {
    g_armed.store(false);
}

long AllocationCount() {
    return g_count.load();
}

void ResetAllocationCount() {
    g_count.store(0);
}

long LiveAllocations() {
    return g_live.load();
}

bool AllocationControlActive() {
    // Probe through the library, whose calls are the ones another allocator intercepts.
    const long before = g_live.load();
    stXMLNode* probe = XMLCreateNode("probe", nullptr);
    const bool counted = g_live.load() > before;
    XMLFreeTree(probe);
    return counted;
}

} // namespace airvane::test

// clang-format off
void* operator new(std::size_t bytes) { return AllocateOrThrow(bytes); }
void* operator new[](std::size_t bytes) { return AllocateOrThrow(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept { return Allocate(bytes); }
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept { return Allocate(bytes); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block); }
// clang-format on
