#include "SecurityTestHelpers.h"

#include "airvane/security/WPAPSKSecureMethod.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// The secret that released blocks are searched for, and what was found.
std::atomic<const std::string*> g_watched{nullptr};
std::atomic<int> g_releasesHoldingSecret{0};
std::atomic<long> g_releases{0};
// Whether the next nothrow allocation fails.
std::atomic<bool> g_failNextNothrow{false};

// A null block has no usable size, so it is never seen holding the secret.
void Release(void* block) noexcept {
    g_releases.fetch_add(1);
    const std::string* secret = g_watched.load();
    if (secret != nullptr && airvane::test::HoldsPartOf(static_cast<const unsigned char*>(block),
                                                        malloc_usable_size(block), *secret)) {
        g_releasesHoldingSecret.fetch_add(1);
    }
    std::free(block);
}

} // namespace

namespace airvane::test {

// Allocation-free search, as it runs inside operator delete.
bool HoldsPartOf(const unsigned char* data, std::size_t size, const std::string& secret) {
    const auto* const bytes = reinterpret_cast<const unsigned char*>(secret.data());
    for (std::size_t from = 0; size >= 8 && from + 8 <= secret.size(); ++from) {
        if (std::search(data, data + size, bytes + from, bytes + from + 8) != data + size) {
            return true;
        }
    }
    return false;
}

int ReleasesHolding(const std::string& secret, const std::function<void()>& action) {
    g_releasesHoldingSecret.store(0);
    g_watched.store(&secret);
    action();
    g_watched.store(nullptr);
    return g_releasesHoldingSecret.load();
}

void FailNextNothrowNew() {
    g_failNextNothrow.store(true);
}

bool ReleaseWatchActive() {
    const long before = g_releases.load();
    // Through the library, whose calls are the ones another allocator intercepts: a method
    // releases the heap block of a long pass phrase when it is destroyed.
    CWLANWPAPSKSecureMethod().SetPassword("a pass phrase too long to be kept inside the string object");
    return g_releases.load() > before;
}

} // namespace airvane::test

// Every form is replaced: a sanitizer runtime supplies its own for any form left out, and
// would then see blocks allocated here released through its own bookkeeping. The C library's
// malloc gives a block of its own even for zero bytes, as operator new must.
void* operator new(std::size_t bytes) {
    void* block = std::malloc(bytes);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void* operator new[](std::size_t bytes) {
    return operator new(bytes);
}

void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
    return g_failNextNothrow.exchange(false) ? nullptr : std::malloc(bytes);
}

void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
    return g_failNextNothrow.exchange(false) ? nullptr : std::malloc(bytes);
}

void operator delete(void* block) noexcept {
    Release(block);
}

void operator delete[](void* block) noexcept {
    Release(block);
}

void operator delete(void* block, std::size_t) noexcept {
    Release(block);
}

void operator delete[](void* block, std::size_t) noexcept {
    Release(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept {
    Release(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept {
    Release(block);
}
