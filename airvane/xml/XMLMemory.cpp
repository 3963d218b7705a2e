#include "airvane/xml/internal/XMLMemory.h"

#include <atomic>

namespace airvane::xml {

std::atomic<bool> g_trackingAllocations{false};

namespace {

// Touched only once a test tracks allocations.
std::atomic<bool> g_failOnce{false};
std::atomic<long> g_successesLeft{-1}; // negative: no failure armed
std::atomic<long> g_counted{0};
std::atomic<long> g_live{0};

} // namespace

void* AllocateTrackedBlock(std::size_t bytes, bool zeroed) {
    void* block = AllocationAllowed() ? platform::GlobalAllocBlock(bytes, zeroed) : nullptr;
    g_live.fetch_add(block != nullptr ? 1 : 0);
    return block;
}

void ReleaseTrackedBlock(void* block) {
    if (block != nullptr) {
        g_live.fetch_sub(1);
    }
    platform::GlobalReleaseBlock(block);
}

bool AllocationAllowed() {
    if (!g_trackingAllocations.load(std::memory_order_relaxed)) {
        return true;
    }
    g_counted.fetch_add(1);
    long left = g_successesLeft.load();
    while (left > 0 && !g_successesLeft.compare_exchange_weak(left, left - 1)) {
    }
    if (left != 0) {
        return true;
    }
    // This one fails; the next ones too unless a single failure was asked for.
    if (g_failOnce.load()) {
        g_successesLeft.store(-1);
    }
    return false;
}

void TrackAllocations() {
    g_trackingAllocations.store(true);
}

void FailAllocationsAfter(long successes, bool once) {
    g_counted.store(0);
    g_failOnce.store(once);
    g_successesLeft.store(successes);
}

long AllocationsCounted() {
    return g_counted.load();
}

long TreeBlocksLive() {
    return g_live.load();
}

} // namespace airvane::xml
