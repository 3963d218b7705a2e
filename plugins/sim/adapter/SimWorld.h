#pragma once

#include "airvane/xml/XMLTree.h"

#include <cstdint>
#include <string>
#include <vector>

// The simulated radio world, as described under each DEVICE element of the interface
// configuration. The library hands the whole DEVICE element to the plug-in, so the world
// lives in extra elements that the library ignores:
//
//   <DEVICE CLASS="NET" HARDWAREID="USB\VID_03EB&amp;PID_7605\SIM0">
//     <X KITNAME="Simulated kit"/>
//     <SIMADAPTER NAME="sim0" FRIENDLYNAME="Simulated adapter" ADDRESS="02:00:5E:00:00:01"
//                 PRESENT="yes" HOTPLUG="no" READY="yes" PREPARE="ok" SELECT="accept"
//                 WPA="yes" CIPHER="CCMP" LABEL="sim0">
//       <NETWORK SSID="Home" QUALITY="80" SECURITY="WPA-PSK" PASSPHRASE="correct horse"/>
//       <NETWORK SSID="Lab" SECURITY="WPA-PSK" KEY="64 hex digits"/>
//       <NETWORK SSID="Office" SECURITY="WEP" KEY="0102030405"/>
//       <NETWORK SSID="Plus" SECURITY="WEPPLUS" KEY="0102030405060708090A0B0C0D" RENEWAL="accept"/>
//       <NETWORK SSID="Cafe" SECURITY="NONE" ASSOCIATION="accept" BSSID="02:00:5E:10:00:04"/>
//     </SIMADAPTER>
//   </DEVICE>
//
// SIMADAPTER (exactly one, required):
//   NAME          registry name of the adapter (required, 1 to 255 bytes)
//   FRIENDLYNAME  display name (default: NAME)
//   ADDRESS       hardware address, six hex bytes separated by ":" or "-" (default: derived
//                 from NAME)
//   PRESENT       yes | no: whether the device is plugged in (default yes)
//   HOTPLUG       yes | no: yes makes the device appear only through discovery, not when
//                 the configuration is loaded (default no)
//   READY         yes | no: whether the adapter starts prepared (default yes)
//   PREPARE       ok | fail: outcome of preparing an adapter that is not ready (default ok)
//   SELECT        accept | refuse: whether the adapter accepts being selected (default accept)
//   WPA           yes | no: WPA-PSK support (default yes)
//   CIPHER        NONE | WEP | TKIP | CCMP: strongest WPA cipher reported (default CCMP)
//   LABEL         label naming the adapter's WEP Plus generated keys (default: NAME)
// WEP Plus support comes from the DEVICE element's HARDWAREID, as the library recognises
// WEP Plus devices.
//
// NETWORK (any number, at most 32 are reported; each SSID once):
//   SSID          network name (required, 1 to 32 bytes)
//   QUALITY       0 to 100 (default 50)
//   SECURITY      NONE | WEP | WEPPLUS | WPA-PSK (default NONE)
//   KEY           hex key: WEP and WEPPLUS 1 to 32 bytes (required); WPA-PSK exactly 32
//                 bytes, instead of PASSPHRASE
//   PASSPHRASE    WPA-PSK pass phrase, 8 to 63 printable characters
//   BSSID         access point's hardware address (default: derived from SSID)
//   ASSOCIATION   accept | refuse | ignore: how the access point answers an association
//                 request; ignore never answers (default accept)
//   RENEWAL       accept | refuse: whether a WEP Plus access point agrees to new keys
//                 (default accept)

namespace airvane::sim {

constexpr std::size_t kSimAddressBytes = 6;
constexpr std::size_t kSimMaxNetworks = 32;
constexpr std::size_t kSimMaxSSIDBytes = 32;
constexpr std::size_t kSimMaxKeyBytes = 32;
constexpr std::size_t kSimWpaKeyBytes = 32;
constexpr std::size_t kSimMaxNameBytes = 255;

enum enSimSecurity : std::int32_t {
    SIM_SECURITY_NONE = 0,
    SIM_SECURITY_WEP = 1,
    SIM_SECURITY_WEPPLUS = 2,
    SIM_SECURITY_WPAPSK = 4,
};

enum enSimAssociation : std::int32_t {
    SIM_ASSOCIATION_ACCEPT = 0,
    SIM_ASSOCIATION_REFUSE = 1,
    SIM_ASSOCIATION_IGNORE = 2,
};

struct stSimNetwork {
    std::string ssid;
    std::int32_t quality = 50;
    enSimSecurity security = SIM_SECURITY_NONE;
    std::vector<std::uint8_t> key; // WEP / WEP Plus key, or the WPA-PSK raw key
    std::string passphrase;        // WPA-PSK pass phrase (empty when a raw key is used)
    std::uint8_t bssid[kSimAddressBytes] = {};
    enSimAssociation association = SIM_ASSOCIATION_ACCEPT;
    bool acceptsRenewal = true;
};

struct stSimAdapterConfig {
    std::string name;
    std::string friendlyName;
    std::string hardwareId;
    std::string label;
    std::uint8_t address[kSimAddressBytes] = {};
    bool present = true;
    bool hotPlug = false;
    bool ready = true;
    bool prepareSucceeds = true;
    bool acceptsSelection = true;
    bool wpaSupported = true;
    std::int32_t maxCipher = 3; // CWLANWPAGenSecureCapabilities::WPA_CIPHER_CCMP
    bool wepPlusSupported = false;
    std::vector<stSimNetwork> networks;
};

// Reads the world of one DEVICE element. Returns false with a reason in `error` when the
// element has no SIMADAPTER child or an attribute is missing or malformed. Never throws.
bool ParseSimDevice(stXMLNode* device, stSimAdapterConfig& config, std::string& error) noexcept;

// Parses "02:00:5E:00:00:01" (":" or "-" separators, either case).
bool ParseHardwareAddress(const std::string& text, std::uint8_t address[kSimAddressBytes]);
// Formats an address as "02:00:5E:00:00:01".
std::string FormatHardwareAddress(const std::uint8_t address[kSimAddressBytes]);

} // namespace airvane::sim
