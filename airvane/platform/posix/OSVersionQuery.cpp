#include "airvane/platform/internal/OSVersionQuery.h"

#include <cstdlib>

namespace airvane::platform {

namespace {

constexpr const char* kOSVersionVariable = "AIRVANE_OS_VERSION";
constexpr char kPartSeparator = '.';

// Reads one decimal part of at most 32 bits; digits only (no sign, no spaces).
bool ReadPart(const char*& text, std::uint32_t& value) {
    std::uint64_t number = 0;
    const char* start = text;
    while (*text >= '0' && *text <= '9') {
        number = number * 10 + static_cast<std::uint64_t>(*text - '0');
        if (number > 0xFFFFFFFFull) {
            return false;
        }
        ++text;
    }
    value = static_cast<std::uint32_t>(number);
    return text != start;
}

// Parses "platform.major.minor.build"; anything else is rejected whole.
bool ParseVersion(const char* text, stOSVersionInfo& info) {
    std::uint32_t parts[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (*text != kPartSeparator) {
                return false;
            }
            ++text;
        }
        if (!ReadPart(text, parts[i])) {
            return false;
        }
    }
    if (*text != '\0') {
        return false;
    }
    info = stOSVersionInfo{parts[0], parts[1], parts[2], parts[3]};
    return true;
}

} // namespace

bool QueryOSVersion(stOSVersionInfo& info) {
    // Linux is none of the recognised systems unless a version is given to emulate.
    info = stOSVersionInfo{0, 0, 0, 0};
    const char* emulated = std::getenv(kOSVersionVariable);
    if (emulated != nullptr) {
        ParseVersion(emulated, info);
    }
    return true;
}

} // namespace airvane::platform
