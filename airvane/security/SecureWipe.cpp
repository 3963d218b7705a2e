#include "airvane/security/internal/SecureWipe.h"

#include <cstring>

namespace airvane::security {

void SecureWipe(void* data, std::size_t size) {
    if (data == nullptr) {
        return;
    }
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = 0;
    }
}

void SecureWipeString(std::string& text) {
    // Growing to the capacity never reallocates, so the whole buffer that held the text is wiped.
    text.resize(text.capacity());
    SecureWipe(&text[0], text.size());
    text.clear();
}

bool CopyKeyBits(unsigned char* destination, std::size_t capacity, const unsigned char* key,
                 std::uint32_t sizeInBit) {
    if (sizeInBit > capacity * 8) {
        return false;
    }
    const std::size_t bytes = sizeInBit / 8;
    if (bytes > 0) {
        if (key == nullptr) {
            return false; // refuse rather than keep a length without key bytes
        }
        std::memcpy(destination, key, bytes);
    }
    return true;
}

} // namespace airvane::security
