#include "plugins/sim/supplicant/PassphraseKey.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <climits>

namespace airvane::sim {

bool DerivePMK(const char* passphrase, std::size_t passphraseLength, const std::uint8_t* ssid,
               std::size_t ssidLength, std::uint8_t pmk[kPMKLength]) noexcept {
    if (passphrase == nullptr || ssid == nullptr || pmk == nullptr || passphraseLength > INT_MAX ||
        ssidLength > INT_MAX) {
        return false;
    }
    const int ok = PKCS5_PBKDF2_HMAC_SHA1(passphrase, static_cast<int>(passphraseLength), ssid,
                                          static_cast<int>(ssidLength), kPMKIterations,
                                          static_cast<int>(kPMKLength), pmk);
    if (ok != 1) {
        OPENSSL_cleanse(pmk, kPMKLength);
        return false;
    }
    return true;
}

void WipeSecret(void* bytes, std::size_t length) noexcept {
    OPENSSL_cleanse(bytes, length);
}

bool SecretsEqual(const void* a, const void* b, std::size_t length) noexcept {
    return CRYPTO_memcmp(a, b, length) == 0;
}

} // namespace airvane::sim
