#pragma once

// This test executable replaces the global operator new and delete so that a test can make
// allocations fail (the library's node and attribute records and its working data come from
// there) and can count the blocks that are still live.

namespace airvane::test {

// Lets `successes` more allocations succeed, then fails every later one (or, with `failOnce`,
// only the next one after them).
void FailAllocationsAfter(long successes, bool failOnce = false);
void StopFailingAllocations();
// Allocations made since the last FailAllocationsAfter or ResetAllocationCount.
long AllocationCount();
void ResetAllocationCount();
// Blocks from operator new that are not released yet.
long LiveAllocations();
// False when another allocator took the place of this one (valgrind substitutes its own
// operator new and delete): the tests that rely on the replacement then cannot run.
bool AllocationControlActive();

#define AIRVANE_REQUIRE_ALLOCATION_CONTROL()                                                                 \
    do {                                                                                                     \
        if (!::airvane::test::AllocationControlActive()) {                                                   \
            GTEST_SKIP() << "the test's operator new is replaced by another allocator";                      \
        }                                                                                                    \
    } while (false)

// Makes allocations fail as set up for its lifetime.
class CAllocationFailure {
public:
    CAllocationFailure(long successes, bool failOnce) { FailAllocationsAfter(successes, failOnce); }
    ~CAllocationFailure() { StopFailingAllocations(); }
    CAllocationFailure(const CAllocationFailure&) = delete;
    CAllocationFailure& operator=(const CAllocationFailure&) = delete;
};

} // namespace airvane::test
