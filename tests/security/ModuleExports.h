#pragma once

#include "airvane/platform/Module.h"

namespace airvane::test {

// Resolves an export of a test-double module through the same loader the library uses, so
// the test reaches the very module (same handle) that the library loaded. Null when the
// module or the export is missing.
template <typename Fn> Fn ModuleExport(const char* moduleName, const char* exportName) {
    void* const symbol =
        airvane::platform::GetModuleExport(airvane::platform::LoadModule(moduleName), exportName);
    return reinterpret_cast<Fn>(symbol);
}

} // namespace airvane::test
