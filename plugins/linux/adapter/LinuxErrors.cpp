#include "plugins/linux/adapter/LinuxErrors.h"

namespace airvane::linux_wlan {

const char* LinuxErrorText(std::uint32_t code) {
    static const char* const texts[] = {
        "no error",
        "adapter not selected",
        "the kernel offers no nl80211 (cfg80211 is not loaded)",
        "wireless interface not present",
        "radio blocked by rfkill",
        "permission denied: nl80211 scans need CAP_NET_ADMIN",
        "scan failed or found nothing in time",
        "network not in range",
        "network requires WPA-PSK",
        "network requires WEP",
        "network is open (no security)",
        "network requires WPA with IEEE 802.1X, which is not supported",
        "the profile is incomplete (SSID, key or pass phrase)",
        "the profile's secure method is not supported on Linux",
        "wpa_supplicant is not reachable on its control socket",
        "wpa_supplicant refused the network",
        "handshake failed: wrong key or pass phrase",
        "out of memory",
    };
    return code < sizeof texts / sizeof texts[0] ? texts[code] : "unknown error";
}

} // namespace airvane::linux_wlan
