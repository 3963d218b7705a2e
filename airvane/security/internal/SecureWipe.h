#pragma once

#include "airvane/security/SecureWipe.h"

#include <cstddef>
#include <cstdint>

namespace airvane::security {

// The key-setting rule shared by the WEP and WPA-PSK methods: refuses (false, nothing
// written) a size over `capacity` bytes' worth of bits, or key bytes to copy from null;
// otherwise copies size / 8 bytes to the start of `destination` and returns true. Bytes
// beyond them are left as they are: the caller decides whether they are wiped.
bool CopyKeyBits(unsigned char* destination, std::size_t capacity, const unsigned char* key,
                 std::uint32_t sizeInBit);

} // namespace airvane::security
