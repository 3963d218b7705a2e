#include "airvane/platform/internal/OSVersionQuery.h"

#include <windows.h>

namespace airvane::platform {

namespace {

// The ANSI version structure as the system has always defined it.
constexpr DWORD kVersionInfoSize = 148;
static_assert(sizeof(OSVERSIONINFOA) == kVersionInfoSize, "OSVERSIONINFOA is 148 bytes");

} // namespace

bool QueryOSVersion(stOSVersionInfo& info) {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = kVersionInfoSize;
    if (!::GetVersionExA(&version)) {
        return false;
    }
    info = stOSVersionInfo{version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion,
                           version.dwBuildNumber};
    return true;
}

} // namespace airvane::platform
