#pragma once

#include "airvane/Export.h"

#include <cstdint>

namespace airvane::platform {

// Platform identifiers as the version table uses them.
constexpr std::uint32_t kPlatformWin32Windows = 1;
constexpr std::uint32_t kPlatformWin32NT = 2;

struct stOSVersionInfo {
    std::uint32_t platformId;
    std::uint32_t majorVersion;
    std::uint32_t minorVersion;
    std::uint32_t buildNumber;
};

// Asks the system for its version. On POSIX the platform is 0 (not a recognised system)
// unless AIRVANE_OS_VERSION=platform.major.minor.build says otherwise (e.g. 2.5.1.2600).
// Returns false when the version cannot be obtained.
AIRVANE_API bool QueryOSVersion(stOSVersionInfo& info);

} // namespace airvane::platform
