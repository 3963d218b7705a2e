#include "airvane/platform/Module.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace airvane::platform {
namespace {

// Trivially destructible, so that no thread-exit destructor runs inside the library.
thread_local char t_lastLoadError[512];

// "<file name>: <reason>", or the reason alone without a file name.
void SetLoadError(const char* fileName, const char* reason) {
    std::snprintf(t_lastLoadError, sizeof(t_lastLoadError), "%s%s%s", fileName, *fileName != '\0' ? ": " : "",
                  reason);
}

// Records the system's message for `error`, without its trailing line break.
void SetSystemLoadError(const char* fileName, DWORD error) {
    char message[256] = {};
    const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                          error, 0, message, sizeof(message), nullptr);
    DWORD end = length;
    while (end > 0 && (message[end - 1] == '\r' || message[end - 1] == '\n' || message[end - 1] == ' ')) {
        --end;
    }
    message[end] = '\0';
    if (end == 0) {
        std::snprintf(message, sizeof(message), "error %lu", static_cast<unsigned long>(error));
    }
    SetLoadError(fileName, message);
}

} // namespace

// A bare name is looked for in the executable's folder, then in the system's folders, never in
// the current folder or along PATH (where anyone could leave a module of that name); systems
// that predate restricting the search get the loader's standard search. A name with a folder in
// it is a path: the loader would send a relative one through its search as well, so it is made
// absolute from the current folder first. Paths may be written with "/"; the loader is given
// "\" as it documents.
ModuleHandle LoadModule(const char* fileName) {
    if (fileName == nullptr || *fileName == '\0') {
        SetLoadError("", "no module name");
        return nullptr;
    }
    // The system drops a file name's trailing dots and spaces, so such a name would load another
    // file than the one named.
    const char last = fileName[std::strlen(fileName) - 1];
    if (last == '.' || last == ' ') {
        SetLoadError(fileName, "a file name ending in a dot or a space names another file here");
        return nullptr;
    }
    std::string name(fileName);
    bool isPath = false;
    for (char& c : name) {
        if (c == '/' || c == '\\') {
            c = '\\';
            isPath = true;
        }
    }
    if (isPath) {
        char fullPath[MAX_PATH];
        const DWORD length = ::GetFullPathNameA(name.c_str(), sizeof(fullPath), fullPath, nullptr);
        if (length == 0 || length >= sizeof(fullPath)) {
            SetSystemLoadError(fileName, length == 0 ? ::GetLastError() : ERROR_FILENAME_EXCED_RANGE);
            return nullptr;
        }
        name.assign(fullPath, length);
    }
    // The loader adds ".dll" to a file name without an extension unless it ends in ".", which
    // names the same file: the name is used as given, as on every platform.
    const std::size_t fileStart = name.find_last_of('\\') + 1;
    if (name.find('.', fileStart) == std::string::npos) {
        name += '.';
    }
    // No error dialog for a missing or broken module: the caller handles the failure.
    DWORD oldMode = 0;
    const bool modeSet = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode) != 0;
    HMODULE module =
        isPath ? nullptr
               : ::LoadLibraryExA(name.c_str(), nullptr,
                                  LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    DWORD error = ::GetLastError();
    if (isPath || (module == nullptr && error == ERROR_INVALID_PARAMETER)) {
        module = ::LoadLibraryA(name.c_str());
        error = ::GetLastError();
    }
    if (modeSet) {
        ::SetThreadErrorMode(oldMode, nullptr);
    }
    if (module == nullptr) {
        SetSystemLoadError(fileName, error);
    } else {
        t_lastLoadError[0] = '\0';
    }
    return module;
}

const char* LastModuleLoadError() {
    return t_lastLoadError;
}

void* GetModuleExport(ModuleHandle module, const char* exportName) {
    if (module == nullptr || exportName == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), exportName));
}

} // namespace airvane::platform
