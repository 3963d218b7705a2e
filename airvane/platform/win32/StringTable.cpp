#include "airvane/platform/internal/StringTable.h"

#include <windows.h>

#include <array>
#include <string>

// The texts are a STRINGTABLE resource of the library (Strings.rc), read with LoadStringA
// from the library's own module, whichever module the caller is.

namespace airvane::platform {
namespace {

constexpr unsigned kLastId = IDS_WPA_FREE_EXPORT;

struct stLoadedStrings {
    std::array<std::string, kLastId + 1> text;
    std::array<bool, kLastId + 1> found{};
};

HMODULE OwnModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&LoadLibraryString), &module);
    return module;
}

stLoadedStrings LoadAll() {
    stLoadedStrings strings;
    const HMODULE module = OwnModule();
    for (unsigned id = 1; id <= kLastId && module != nullptr; ++id) {
        char buffer[256];
        const int length = ::LoadStringA(module, id, buffer, sizeof(buffer));
        if (length > 0) {
            strings.text[id].assign(buffer, static_cast<std::size_t>(length));
            strings.found[id] = true;
        }
    }
    return strings;
}

} // namespace

const char* LoadLibraryString(unsigned id) {
    static const stLoadedStrings strings = LoadAll();
    if (id == 0 || id > kLastId || !strings.found[id]) {
        return nullptr;
    }
    return strings.text[id].c_str();
}

} // namespace airvane::platform
