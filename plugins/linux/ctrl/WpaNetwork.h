#pragma once

#include "plugins/linux/ctrl/WpaControl.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace airvane::linux_wlan {

// One setting of a wpa_supplicant network, its value written as in wpa_supplicant's
// configuration file (a quoted text, hex digits or a bare word).
struct stNetworkField {
    std::string name;
    std::string value;
};

// Every network Airvane adds carries this id_str, so that a later process (a `disconnect`
// after the `connect` that added it) can find it; networks without it are never touched.
inline constexpr const char kNetworkTag[] = "airvane";

// Reads the network block the library hands to the supplicant module:
//     network={ <name>=<value> lines }
// The SSID, written between double quotes without escaping, is turned into hex digits so
// that any byte reaches wpa_supplicant unchanged. False, with a reason, when the block is
// not of that shape or a line holds a control character.
bool ParseNetworkBlock(const char* block, std::vector<stNetworkField>& fields, std::string& error);

// SSID bytes as the unquoted hex form wpa_supplicant accepts for `ssid`.
std::string HexSSID(const std::string& ssid);

// ADD_NETWORK, SET_NETWORK for each field and the tag, then SELECT_NETWORK. Returns the
// new network's id, or -1 with a reason (a network added halfway is removed again).
int AddNetwork(CWpaControl& control, const std::vector<stNetworkField>& fields, std::string& error);

// REMOVE_NETWORK for one id.
bool RemoveNetwork(CWpaControl& control, int id);

// Ids of the networks that carry kNetworkTag.
std::vector<int> TaggedNetworks(CWpaControl& control);

// A STATUS reply as name/value pairs.
std::map<std::string, std::string> ParseStatus(const std::string& reply);

// wpa_supplicant's wpa_state as the supplicant context's state: 1 disconnected, 2 scanning,
// 3 associating, 4 4-way handshake, 5 group handshake, 6 completed, 0 anything else.
std::int32_t MapWpaState(const std::string& wpaState);

// Whether an event says that network `id` was disabled for a wrong key or pass phrase
// (CTRL-EVENT-SSID-TEMP-DISABLED id=<id> ... reason=WRONG_KEY).
bool IsWrongKeyEvent(const std::string& event, int id);

} // namespace airvane::linux_wlan
