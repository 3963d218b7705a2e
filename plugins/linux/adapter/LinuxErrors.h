#pragma once

#include <cstdint>

namespace airvane::linux_wlan {

// Specific error codes of the Linux adapters (GetSpecifiqueLastError), each with its text
// (LinuxErrorText) and the generic code the adapter reports beside it.
enum enLinuxError : std::uint32_t {
    LINUX_ERROR_NONE = 0,
    LINUX_ERROR_NOT_SELECTED = 1,
    LINUX_ERROR_NO_NL80211 = 2,
    LINUX_ERROR_INTERFACE_ABSENT = 3,
    LINUX_ERROR_RFKILL_BLOCKED = 4,
    LINUX_ERROR_PERMISSION = 5,
    LINUX_ERROR_SCAN_FAILED = 6,
    LINUX_ERROR_NETWORK_NOT_FOUND = 7,
    LINUX_ERROR_NETWORK_REQUIRES_WPA_PSK = 8,
    LINUX_ERROR_NETWORK_REQUIRES_WEP = 9,
    LINUX_ERROR_NETWORK_IS_OPEN = 10,
    LINUX_ERROR_NETWORK_REQUIRES_8021X = 11,
    LINUX_ERROR_INVALID_PROFILE = 12,
    LINUX_ERROR_METHOD_UNSUPPORTED = 13,
    LINUX_ERROR_SUPPLICANT_UNREACHABLE = 14,
    LINUX_ERROR_SUPPLICANT_REFUSED = 15,
    LINUX_ERROR_WRONG_KEY = 16,
    LINUX_ERROR_OUT_OF_MEMORY = 17,
};

// Text of a specific error code; "unknown error" for any other value.
const char* LinuxErrorText(std::uint32_t code);

} // namespace airvane::linux_wlan
