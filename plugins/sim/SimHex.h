#pragma once

// Hex digit decoding shared by the simulated adapter's world reader and the simulated
// supplicant's network-block parser.

#include <cstdint>
#include <string>
#include <vector>

namespace airvane::sim {

// The value of one hex digit (either case), or -1.
inline int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Decodes an even number of hex digits; false on anything else, including no digits. The
// text is checked whole before anything is written, so a rejected key leaves no partial copy
// and `bytes` unchanged.
inline bool ParseHexBytes(const std::string& text, std::vector<std::uint8_t>& bytes) {
    if (text.empty() || text.size() % 2 != 0) {
        return false;
    }
    for (const char c : text) {
        if (HexDigitValue(c) < 0) {
            return false;
        }
    }
    bytes.clear();
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(HexDigitValue(text[i]) * 16 + HexDigitValue(text[i + 1])));
    }
    return true;
}

} // namespace airvane::sim
