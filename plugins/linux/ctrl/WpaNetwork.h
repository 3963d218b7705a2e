#pragma once

#include "airvane/security/SecureWipe.h"
#include "plugins/linux/ctrl/WpaControl.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace airvane::linux_wlan {

// One setting of a wpa_supplicant network, its value written as in wpa_supplicant's
// configuration file (a quoted text, hex digits or a bare word). The value may be a pass
// phrase or a key, so it is wiped when the field is destroyed. Having a destructor, the
// field is copied rather than moved, and the copy that is left behind is wiped as well.
struct stNetworkField {
    std::string name;
    std::string value;
    ~stNetworkField() { security::SecureWipeString(value); }
};

// Every network Airvane adds carries this id_str, so that a later process (a `disconnect`
// after the `connect` that added it) can find it; networks without it are never touched.
inline constexpr const char kNetworkTag[] = "airvane";

// Reads the network block the library hands to the supplicant module:
//     network={ <name>=<value> lines }
// The SSID, written between double quotes without escaping, is turned into hex digits so
// that any byte reaches wpa_supplicant unchanged. Only the settings the library writes are
// taken (ssid, psk, priority, key_mgmt), each at most once (ssid and psk are required), and
// nothing may follow the closing brace: the SSID and the pass phrase are inserted unescaped,
// and a line feed in them must not add settings of its own. False, with a reason, when the
// block is not of that shape or a line holds a control character.
bool ParseNetworkBlock(const char* block, std::vector<stNetworkField>& fields, std::string& error);

// SSID bytes as the unquoted hex form wpa_supplicant accepts for `ssid`.
std::string HexSSID(const std::string& ssid);

// LIST_NETWORKS, ADD_NETWORK, SET_NETWORK for each field and the tag, then SELECT_NETWORK.
// Returns the new network's id, or -1 with a reason. A network added halfway is removed again,
// and so is one that an ADD_NETWORK whose reply was lost may have added: networks listed after
// it, above the newest one listed before, that are still disabled and without an SSID, as
// wpa_supplicant adds them. (A network another client adds at that moment, and has not
// configured yet, looks the same.)
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
// (CTRL-EVENT-SSID-TEMP-DISABLED id=<id> ... reason=WRONG_KEY, the reason being the last
// field).
bool IsWrongKeyEvent(const std::string& event, int id);

} // namespace airvane::linux_wlan
