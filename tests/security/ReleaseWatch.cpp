#include "ReleaseWatch.h"

#include "airvane/security/WPAPSKSecureMethod.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// The secret that released blocks are searched for, and what was found.
std::atomic<const unsigned char*> g_watched{nullptr};
std::atomic<std::size_t> g_watchedSize{0};
std::atomic<int> g_releasesHoldingSecret{0};
std::atomic<long> g_releases{0};

constexpr std::size_t kWindow = 8;

// Allocation-free search, as it runs inside operator delete.
bool Holds(const unsigned char* data, std::size_t size, const unsigned char* secret, std::size_t secretSize) {
    for (std::size_t from = 0; size >= kWindow && from + kWindow <= secretSize; ++from) {
        if (std::search(data, data + size, secret + from, secret + from + kWindow) != data + size) {
            return true;
        }
    }
    return false;
}

void Release(void* block) noexcept {
    if (block == nullptr) {
        return;
    }
    g_releases.fetch_add(1);
    const unsigned char* secret = g_watched.load();
    if (secret != nullptr && Holds(static_cast<const unsigned char*>(block), malloc_usable_size(block),
                                   secret, g_watchedSize.load())) {
        g_releasesHoldingSecret.fetch_add(1);
    }
    std::free(block);
}

void* Allocate(std::size_t bytes) noexcept {
    return std::malloc(bytes == 0 ? 1 : bytes);
}

} // namespace

namespace airvane::test {

bool HoldsPartOf(const unsigned char* data, std::size_t size, const std::string& secret) {
    return Holds(data, size, reinterpret_cast<const unsigned char*>(secret.data()), secret.size());
}

CReleaseWatch::CReleaseWatch(const std::string& secret) : m_secret(secret) {
    g_releasesHoldingSecret.store(0);
    g_watchedSize.store(m_secret.size());
    g_watched.store(reinterpret_cast<const unsigned char*>(m_secret.data()));
}

CReleaseWatch::~CReleaseWatch() {
    g_watched.store(nullptr);
}

int CReleaseWatch::LeakingReleases() const {
    return g_releasesHoldingSecret.load();
}

bool ReleaseWatchActive() {
    const long before = g_releases.load();
    // Through the library, whose calls are the ones another allocator intercepts: a method
    // releases the heap block of a long pass phrase when it is destroyed.
    {
        CWLANWPAPSKSecureMethod method;
        method.SetPassword("a pass phrase too long to be kept inside the string object");
    }
    return g_releases.load() > before;
}

} // namespace airvane::test

// Every form is replaced: a sanitizer runtime supplies its own for any form left out, and
// would then see blocks allocated here released through its own bookkeeping.
void* operator new(std::size_t bytes) {
    void* block = Allocate(bytes);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void* operator new[](std::size_t bytes) {
    return operator new(bytes);
}

void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
    return Allocate(bytes);
}

void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
    return Allocate(bytes);
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
