// Prints the platform's version answer and the system code the library identifies from it.
#include "airvane/platform/internal/OSVersionQuery.h"
#include "airvane/system/OSVersion.h"

#include <cstdio>

int main() {
    airvane::platform::stOSVersionInfo info{};
    if (!airvane::platform::QueryOSVersion(info)) {
        return 1;
    }
    const std::string code = COSVersion::Instance().GetOSCode();
    std::printf("%u.%u.%u.%u [%s]\n", info.platformId, info.majorVersion, info.minorVersion,
                info.buildNumber & 0xFFFFu, code.c_str());
    return 0;
}
