#pragma once

// This test executable replaces the global operator new and delete (ReleaseWatch.cpp) to look
// into every heap block just before it goes back to the system. The replacement has a translation
// unit of its own, so no caller inlines it and another allocator (valgrind's) replaces it everywhere.

#include <cstddef>
#include <string>

namespace airvane::test {

// True when `data` holds a run of 8 consecutive bytes of `secret` (a shorter secret never matches).
bool HoldsPartOf(const unsigned char* data, std::size_t size, const std::string& secret);

// Counts, for its lifetime, the released blocks that still hold part of `secret`.
class CReleaseWatch {
public:
    explicit CReleaseWatch(const std::string& secret);
    ~CReleaseWatch();
    CReleaseWatch(const CReleaseWatch&) = delete;
    CReleaseWatch& operator=(const CReleaseWatch&) = delete;
    int LeakingReleases() const;

private:
    const std::string m_secret;
};

// False when another allocator took the place of this executable's operator delete (valgrind
// substitutes its own): the released blocks cannot be seen then.
bool ReleaseWatchActive();

} // namespace airvane::test
