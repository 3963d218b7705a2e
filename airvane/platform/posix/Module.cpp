#include "airvane/platform/Module.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace airvane::platform {
namespace {

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
        return nullptr;
    }
    if (std::strchr(fileName, '/') == nullptr) {
        const std::string folder = ExecutableFolder();
        if (!folder.empty()) {
            const std::string beside = folder + fileName;
            if (::access(beside.c_str(), F_OK) == 0) {
                if (void* handle = ::dlopen(beside.c_str(), RTLD_NOW)) {
                    return handle;
                }
            }
        }
    }
    return ::dlopen(fileName, RTLD_NOW);
}

void* GetModuleExport(ModuleHandle module, const char* exportName) {
    if (module == nullptr || exportName == nullptr) {
        return nullptr;
    }
    return ::dlsym(module, exportName);
}

} // namespace airvane::platform
