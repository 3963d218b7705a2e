#pragma once

#include <cstddef>
#include <cstdint>

namespace airvane::sim {

constexpr int kPMKIterations = 4096;
constexpr std::size_t kPMKLength = 32;

// Pairwise master key of WPA-PSK from a pass phrase: PBKDF2-HMAC-SHA1 with the SSID as
// salt, 4096 iterations, 32 bytes. Returns false when the derivation fails (it does not
// check the pass phrase's length; the network block parser does).
bool DerivePMK(const char* passphrase, std::size_t passphraseLength, const std::uint8_t* ssid,
               std::size_t ssidLength, std::uint8_t pmk[kPMKLength]) noexcept;

} // namespace airvane::sim
