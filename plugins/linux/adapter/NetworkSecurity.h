#pragma once

#include <cstdint>
#include <vector>

namespace airvane::linux_wlan {

enum enNetworkSecurity {
    NETWORK_OPEN,
    NETWORK_WEP,
    NETWORK_WPA_PSK,
    NETWORK_WPA_8021X,
};

// What an access point requires, from its beacon's information elements (the WPA and RSN
// elements go through the library's codec) and its capability field's privacy bit (set
// without a WPA or RSN element: WEP). A malformed element is skipped; a truncated list ends
// the walk.
enNetworkSecurity ClassifyNetwork(const std::vector<std::uint8_t>& elements, std::uint16_t capability);

} // namespace airvane::linux_wlan
