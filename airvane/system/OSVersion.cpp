#include "airvane/system/OSVersion.h"

#include "airvane/platform/internal/Guard.h"
#include "airvane/platform/internal/OSVersionQuery.h"

namespace {

// Codes by operating-system index: the vocabulary of the configuration's OSCODE lists.
constexpr const char* kOSCodes[] = {"95", "95b", "98", "98SE", "NT40", "2000", "ME", "XP", "XP64"};
constexpr std::int32_t kOSCodeCount = static_cast<std::int32_t>(sizeof(kOSCodes) / sizeof(kOSCodes[0]));

constexpr std::int32_t kUnknownIndex = -1;
constexpr std::int32_t kIndex95 = 0;
constexpr std::int32_t kIndex95b = 1;
constexpr std::int32_t kIndex98 = 2;
constexpr std::int32_t kIndex98SE = 3;

// Builds that tell the later releases of the 9x systems apart (low 16 bits of the build).
constexpr std::uint32_t kBuild95bFirst = 1111;
constexpr std::uint32_t kBuild95bSecond = 1212;
constexpr std::uint32_t kBuild98SE = 2222;

struct stVersionRow {
    std::uint32_t platformId;
    std::uint32_t majorVersion;
    std::uint32_t minorVersion;
    std::int32_t index;
};

// Searched in this order; the first row matching platform, major and minor wins.
constexpr stVersionRow kVersionTable[] = {
    {airvane::platform::kPlatformWin32Windows, 4, 0, 0}, {airvane::platform::kPlatformWin32Windows, 4, 10, 2},
    {airvane::platform::kPlatformWin32NT, 4, 0, 4},      {airvane::platform::kPlatformWin32NT, 5, 0, 5},
    {airvane::platform::kPlatformWin32NT, 5, 1, 7},      {airvane::platform::kPlatformWin32Windows, 4, 90, 6},
    {airvane::platform::kPlatformWin32NT, 5, 2, 8},
};

} // namespace

COSVersion::COSVersion() : m_identified(0), m_osIndex(kUnknownIndex) {}

COSVersion& COSVersion::Instance() {
    // Made on first use and destroyed when the library is unloaded.
    static COSVersion instance;
    if (instance.m_identified == 0) {
        instance.Identify();
    }
    return instance;
}

std::string COSVersion::GetOSCode() const {
    return airvane::Guard(std::string(), [&] { return std::string(OSCodeForIndex(m_osIndex)); });
}

std::int32_t COSVersion::LookupOSIndex(std::uint32_t platformId, std::uint32_t majorVersion,
                                       std::uint32_t minorVersion, std::uint32_t buildNumber) {
    const std::uint32_t build = buildNumber & 0xFFFFu;
    for (const stVersionRow& row : kVersionTable) {
        if (row.platformId != platformId || row.majorVersion != majorVersion ||
            row.minorVersion != minorVersion) {
            continue;
        }
        if (row.index == kIndex95) {
            return build == kBuild95bFirst || build == kBuild95bSecond ? kIndex95b : kIndex95;
        }
        if (row.index == kIndex98) {
            return build == kBuild98SE ? kIndex98SE : kIndex98;
        }
        return row.index;
    }
    return kUnknownIndex;
}

const char* COSVersion::OSCodeForIndex(std::int32_t index) {
    if (index < 0 || index >= kOSCodeCount) {
        return "";
    }
    return kOSCodes[index];
}

void COSVersion::Identify() {
    m_osIndex = kUnknownIndex;
    airvane::platform::stOSVersionInfo info{0, 0, 0, 0};
    if (airvane::platform::QueryOSVersion(info)) {
        m_osIndex = LookupOSIndex(info.platformId, info.majorVersion, info.minorVersion, info.buildNumber);
    }
    m_identified = 1;
}
