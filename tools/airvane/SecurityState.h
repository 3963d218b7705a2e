#pragma once

#include <cstdint>
#include <string>

class CWLANState;

namespace airvane::cli {

// What a network state says about security, worked out once for every command and renderer.
struct stSecurityState {
    bool present = false;    // false: the state carries no security information
    std::int32_t uid = 0;    // secure method identifier
    std::string method;      // "WEP", "WEP Plus", "WPA-PSK", ...
    std::int32_t value = -1; // WPA or WEP Plus state; -1 for methods without one
    std::string kind;        // "wpa_state", "wepplus_state" or "" (the JSON name of `value`)
    std::string text;        // the state in words ("completed", "keyed", ...), "" without one
    bool completed = false;  // WPA handshake completed
    bool keyed = false;      // WEP Plus key established

    // "none", "WEP", "WPA-PSK completed", ...
    std::string Text() const;
    // null, or {"method":...,"uid":...[,"wpa_state"|"wepplus_state":...,"state_text":...]}
    std::string Json() const;
};

stSecurityState ClassifySecurity(const CWLANState& state);

} // namespace airvane::cli
