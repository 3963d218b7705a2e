#include "airvane/platform/OSVersionQuery.h"

#include <cstdio>
#include <cstdlib>

namespace airvane::platform {

namespace {
constexpr const char* kOSVersionVariable = "AIRVANE_OS_VERSION";
}

bool QueryOSVersion(stOSVersionInfo& info) {
    info = stOSVersionInfo{0, 0, 0, 0};
    const char* emulated = std::getenv(kOSVersionVariable);
    if (emulated != nullptr) {
        unsigned platform = 0, major = 0, minor = 0, build = 0;
        char extra = 0;
        if (std::sscanf(emulated, "%u.%u.%u.%u%c", &platform, &major, &minor, &build, &extra) == 4) {
            info = stOSVersionInfo{platform, major, minor, build};
        }
    }
    return true;
}

} // namespace airvane::platform
