#pragma once

#include "airvane/platform/Module.h"
#include "airvane/security/SecureMethod.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstddef>
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

} // namespace airvane::test
