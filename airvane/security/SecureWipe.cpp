#include "airvane/security/internal/SecureWipe.h"

#include <cstring>

namespace airvane::security {

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
