#include "airvane/platform/Module.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <utility>

namespace airvane::platform {
namespace {

thread_local std::string t_lastLoadError;

// Loads and records the outcome, so LastModuleLoadError tells about this attempt.
void* OpenModule(const char* path) {
    void* handle = ::dlopen(path, RTLD_NOW);
    if (handle != nullptr) {
        t_lastLoadError.clear();
    } else {
        const char* reason = ::dlerror();
        t_lastLoadError = reason != nullptr ? reason : "unknown loader error";
    }
    return handle;
}

// Folder of the host executable, with a trailing "/"; empty when unknown.
std::string ExecutableFolder() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) {
        return std::string();
    }
    std::string folder(path, static_cast<std::size_t>(length));
    const std::size_t slash = folder.rfind('/');
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

} // namespace

ModuleHandle LoadModule(const char* fileName) {
    if (fileName == nullptr || *fileName == '\0') {
        t_lastLoadError = "no module name";
        return nullptr;
    }
    if (std::strchr(fileName, '/') == nullptr) {
        const std::string folder = ExecutableFolder();
        if (!folder.empty()) {
            const std::string beside = folder + fileName;
            if (::access(beside.c_str(), F_OK) == 0) {
                if (void* handle = OpenModule(beside.c_str())) {
                    return handle;
                }
                // The file beside the executable exists but is unusable: its reason says
                // more than the standard search's "not found".
                std::string besideError = t_lastLoadError;
                void* handle = OpenModule(fileName);
                if (handle == nullptr) {
                    t_lastLoadError = std::move(besideError);
                }
                return handle;
            }
        }
    }
    return OpenModule(fileName);
}

const char* LastModuleLoadError() {
    return t_lastLoadError.c_str();
}

void* GetModuleExport(ModuleHandle module, const char* exportName) {
    if (module == nullptr || exportName == nullptr) {
        return nullptr;
    }
    void* const address = ::dlsym(module, exportName);
    if (address == nullptr) {
        return nullptr;
    }
    // The search also goes through the modules this one depends on; only its own exports
    // count, so that a plug-in lacking an entry point is not taken for one because a library
    // it uses has it.
    Dl_info where{};
    void* owner = nullptr;
    if (::dladdr(address, &where) == 0 || where.dli_fname == nullptr ||
        (owner = ::dlopen(where.dli_fname, RTLD_LAZY | RTLD_NOLOAD)) == nullptr) {
        return nullptr;
    }
    ::dlclose(owner);
    return owner == module ? address : nullptr;
}

} // namespace airvane::platform
