#pragma once

#include <cstdint>
#include <string>

namespace airvane::sim {

// A parsed supplicant network block:
//
//     network={
//         ssid="name"            quoted text, or an even number of hex digits (1 to 32 bytes)
//         psk="pass phrase"      quoted pass phrase of 8 to 63 printable characters,
//         psk=0123...            or exactly 64 hex digits (a raw 256-bit key)
//         priority=1             optional decimal number
//         key_mgmt=WPA-PSK       optional list; when present it must hold WPA-PSK
//     }
//
// Blank lines and lines starting with "#" are ignored, each field may appear once, unknown
// fields and text after the closing brace are errors.
struct stSimNetworkBlock {
    std::string ssid;
    bool hasPassphrase = false;
    std::string passphrase;
    bool hasKey = false;
    std::uint8_t key[32] = {};
    int priority = 0;
    std::string keyManagement;

    stSimNetworkBlock() = default;
    stSimNetworkBlock(const stSimNetworkBlock&) = default;
    stSimNetworkBlock& operator=(const stSimNetworkBlock&) = default;
    // Wipes the pass phrase and key.
    ~stSimNetworkBlock();
};

// Parses `text`; returns true and fills `block`, or returns false with a short reason in
// `error` (when given). Never throws.
bool ParseNetworkBlock(const char* text, stSimNetworkBlock& block, std::string* error) noexcept;

} // namespace airvane::sim
