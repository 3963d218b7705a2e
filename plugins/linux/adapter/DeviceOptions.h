#pragma once

#include "airvane/xml/XMLTree.h"

#include <cstdint>
#include <string>

namespace airvane::linux_wlan {

// Which interface a DEVICE element selects, read from its LINUXWLAN child:
//
//   <DEVICE CLASS="NET" HARDWAREID="nl80211">
//     <LINUXWLAN INTERFACE="wlan0" ADDRESS="02:00:00:00:01:00" CONTROLDIR="/run/wpa_supplicant"/>
//   </DEVICE>
//
//   INTERFACE    interface name (1 to 15 bytes, no "/")
//   ADDRESS      hardware address, six hex bytes separated by ":" or "-"
//   CONTROLDIR   folder of wpa_supplicant's control sockets (default /var/run/wpa_supplicant)
//
// At least one of INTERFACE and ADDRESS; with both, the interface must carry both.
struct stDeviceOptions {
    std::string interfaceName;
    bool hasAddress = false;
    std::uint8_t address[6] = {};
    std::string controlDir;
};

// False, with a reason, when the element lacks LINUXWLAN or its values are invalid.
bool ParseDeviceOptions(stXMLNode* device, stDeviceOptions& options, std::string& error);

// "02:00:00:00:01:00"
std::string FormatAddress(const std::uint8_t address[6]);
bool ParseAddress(const std::string& text, std::uint8_t address[6]);

} // namespace airvane::linux_wlan
