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

// Overwrites key material with zeros in a way the compiler cannot drop.
void WipeSecret(void* bytes, std::size_t length) noexcept;

// Compares two secrets in a time that does not depend on where they differ.
bool SecretsEqual(const void* a, const void* b, std::size_t length) noexcept;

// Two backends: OpenSSL's libcrypto (PassphraseKeyOpenSSL.cpp) and, on Windows, the
// system's CNG (PassphraseKeyBCrypt.cpp).

} // namespace airvane::sim
