#pragma once

// Hexadecimal text of byte strings, two digits per byte, as the library, its command-line
// host and the plug-ins write and read it (registry value names, keys, SSIDs).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace airvane::hex {

enum enHexCase { HEX_UPPER, HEX_LOWER };

// The value of one hex digit (either case), or -1.
inline int DigitValue(char c) {
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

// Appends two digits per byte, no separators.
inline void Append(std::string& text, const void* bytes, std::size_t count, enHexCase letters = HEX_UPPER) {
    const char* const digits = letters == HEX_UPPER ? "0123456789ABCDEF" : "0123456789abcdef";
    const auto* const data = static_cast<const std::uint8_t*>(bytes);
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(digits[data[i] >> 4]);
        text.push_back(digits[data[i] & 0x0F]);
    }
}

// The digits of `count` bytes, in one allocation (so no released block holds part of a key).
inline std::string Encode(const void* bytes, std::size_t count, enHexCase letters = HEX_UPPER) {
    std::string text;
    text.reserve(count * 2);
    Append(text, bytes, count, letters);
    return text;
}

// Decodes an even number of hex digits and nothing else; false for anything else, including
// no digits. The text is checked whole first: a rejected text leaves `bytes` unchanged.
inline bool Decode(const std::string& text, std::vector<std::uint8_t>& bytes) {
    if (text.empty() || text.size() % 2 != 0) {
        return false;
    }
    for (const char c : text) {
        if (DigitValue(c) < 0) {
            return false;
        }
    }
    bytes.clear();
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(DigitValue(text[i]) * 16 + DigitValue(text[i + 1])));
    }
    return true;
}

} // namespace airvane::hex
