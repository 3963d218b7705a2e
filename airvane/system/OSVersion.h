#pragma once

#include "airvane/Export.h"

#include <cstdint>
#include <string>

// Identifies the running operating system once, as one of the codes "95", "95b", "98",
// "98SE", "NT40", "2000", "ME", "XP", "XP64" used by the OSCODE attribute of the
// configuration.
class AIRVANE_API COSVersion {
public:
    // The one identification object of the process, made and identified on first use.
    static COSVersion& Instance();

    // Code of the running system; empty when it is not recognised.
    std::string GetOSCode() const;

    // Table lookup: index into the code table for a reported version, or -1.
    static std::int32_t LookupOSIndex(std::uint32_t platformId, std::uint32_t majorVersion,
                                      std::uint32_t minorVersion, std::uint32_t buildNumber);
    // Code of a code-table index; empty for -1 or any index outside the table.
    static const char* OSCodeForIndex(std::int32_t index);

    COSVersion(const COSVersion&) = delete;
    COSVersion& operator=(const COSVersion&) = delete;

private:
    COSVersion();
    void Identify();

    std::uint32_t m_identified; // 0 until the first identification
    std::int32_t m_osIndex;     // -1 when the system is not in the version table
};
