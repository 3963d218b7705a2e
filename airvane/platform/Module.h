#pragma once

#include "airvane/Export.h"

#include <cstring>
#include <type_traits>

namespace airvane::platform {

// Opaque handle of a loaded module.
using ModuleHandle = void*;

// Loads a module by file name and returns its handle, or null when it cannot be loaded.
// A name containing "/" is a path (relative ones from the current folder). A bare name is
// looked for in the host executable's folder first, then in the system's library folders (the
// dynamic loader's search on POSIX; the system folders on Windows), never in the current
// folder. The name is used exactly as given: no extension is added ("wpa_stub.dll" is a valid
// module name everywhere). Modules are never unloaded, and a failed load is not remembered:
// the next call tries again.
AIRVANE_API ModuleHandle LoadModule(const char* fileName);

// The loader's own explanation of the last failed LoadModule on this thread ("" when the
// last load succeeded or none was made). Hosts use it to say why a plug-in did not load;
// the library itself reports load failures to nobody.
AIRVANE_API const char* LastModuleLoadError();

// Looks up an exported symbol of a loaded module: its own, not one of a module it depends on.
// Null when missing or when the handle is null.
AIRVANE_API void* GetModuleExport(ModuleHandle module, const char* exportName);

// GetModuleExport as a pointer to a function of type Fn; null when the export is missing.
template <typename Fn> Fn GetModuleFunction(ModuleHandle module, const char* exportName) {
    static_assert(std::is_pointer_v<Fn> && std::is_function_v<std::remove_pointer_t<Fn>>,
                  "Fn is a pointer to a function");
    static_assert(sizeof(Fn) == sizeof(void*), "function and export addresses differ in size");
    void* const address = GetModuleExport(module, exportName);
    Fn function = nullptr;
    std::memcpy(&function, &address, sizeof(function));
    return function;
}

} // namespace airvane::platform
