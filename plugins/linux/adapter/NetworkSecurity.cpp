#include "plugins/linux/adapter/NetworkSecurity.h"

#include "airvane/security/WPASecureMethod.h"
#include "airvane/wpa_ie/WPAIEFlags.h"

namespace airvane::linux_wlan {

namespace {

constexpr std::uint8_t kRSNElement = 48;
constexpr std::uint8_t kVendorElement = 221;
constexpr std::uint16_t kPrivacyBit = 0x0010;

} // namespace

enNetworkSecurity ClassifyNetwork(const std::vector<std::uint8_t>& elements, std::uint16_t capability) {
    unsigned long flags = 0;
    std::size_t at = 0;
    while (at + 2 <= elements.size()) {
        const std::size_t length = elements[at + 1];
        if (at + 2 + length > elements.size()) {
            break;
        }
        // Vendor elements other than WPA fail to parse and leave the flags unchanged.
        if (elements[at] == kRSNElement || elements[at] == kVendorElement) {
            CWLANWPAGenSecureMethod::WPAParseIEinfo(&elements[at], static_cast<unsigned int>(length + 2),
                                                    flags);
        }
        at += 2 + length;
    }
    if ((flags & (WPAIE_PROTO_WPA | WPAIE_PROTO_RSN)) != 0) {
        return (flags & WPAIE_AKM_PSK) != 0 ? NETWORK_WPA_PSK : NETWORK_WPA_8021X;
    }
    return (capability & kPrivacyBit) != 0 ? NETWORK_WEP : NETWORK_OPEN;
}

} // namespace airvane::linux_wlan
