#pragma once

// Wiping of secrets (keys, pass phrases) before their memory is released or reused, as the
// library, its command-line host and the plug-ins do it.

#include <cstddef>
#include <string>

namespace airvane::security {

// Overwrites bytes with zeros through a volatile pointer, so that the compiler cannot drop the
// stores as dead. Null is ignored.
inline void SecureWipe(void* data, std::size_t size) {
    if (data == nullptr) {
        return;
    }
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = 0;
    }
}

// Zeroes every byte of the string's buffer (up to its capacity), then empties it.
inline void SecureWipeString(std::string& text) {
    // Growing to the capacity never reallocates, so the whole buffer that held the text is wiped.
    text.resize(text.capacity());
    SecureWipe(&text[0], text.size());
    text.clear();
}

} // namespace airvane::security
