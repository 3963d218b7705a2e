#pragma once

#include <cstddef>
#include <string>

namespace airvane::security {

// Overwrites key material with zeros in a way the compiler cannot drop as a dead store.
void SecureWipe(void* data, std::size_t size);
// Zeroes every byte of the string's buffer (up to its capacity), then empties it.
void SecureWipeString(std::string& text);

} // namespace airvane::security
