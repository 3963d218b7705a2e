#pragma once

#include "airvane/platform/Module.h"
#include "airvane/security/SecureMethod.h"
#include "airvane/security/SecureMethodState.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace airvane::test {

// Resolves an export of a test-double module through the same loader the library uses, so
// the test reaches the very module (same handle) that the library loaded. Null when the
// module or the export is missing.
template <typename Fn> Fn ModuleExport(const char* moduleName, const char* exportName) {
    return reinterpret_cast<Fn>(
        airvane::platform::GetModuleExport(airvane::platform::LoadModule(moduleName), exportName));
}

// The value `get` reads from the method's state object (which must carry the method's
// identifier), or -1 when the method builds none.
template <typename TState, typename TValue>
int StateOf(const IWLANSecureMethod& method, TValue (TState::*get)() const) {
    std::unique_ptr<IWLANSecureMethodState> state(method.BuildSecureMethodState());
    if (state == nullptr) {
        return -1;
    }
    EXPECT_EQ(method.GetSecureMethodUID(), state->GetSecureMethodUID());
    return static_cast<int>((static_cast<const TState*>(state.get())->*get)());
}

// KeyWipeTests replaces the global operator new and delete (ReleaseWatch.cpp) to look into every
// heap block just before it goes back to the system. The replacement has a translation unit of its
// own, so no caller inlines it and another allocator (valgrind's) replaces it everywhere.

// True when `data` holds a run of 8 consecutive bytes of `secret` (a shorter secret never matches).
bool HoldsPartOf(const unsigned char* data, std::size_t size, const std::string& secret);

// Runs `action` and counts the heap blocks it released that still hold part of `secret`, which must
// outlive the call.
int ReleasesHolding(const std::string& secret, const std::function<void()>& action);

// False when another allocator took the place of this executable's operator delete (valgrind
// substitutes its own): the released blocks cannot be seen then, nor allocations made to fail.
bool ReleaseWatchActive();

// Makes the next nothrow operator new of the process (the library's included) return null.
void FailNextNothrowNew();

} // namespace airvane::test
