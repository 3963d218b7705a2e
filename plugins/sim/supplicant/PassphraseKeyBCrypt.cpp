#include "plugins/sim/supplicant/PassphraseKey.h"

#include <windows.h>

#include <bcrypt.h>

#include <climits>

namespace airvane::sim {

bool DerivePMK(const char* passphrase, std::size_t passphraseLength, const std::uint8_t* ssid,
               std::size_t ssidLength, std::uint8_t pmk[kPMKLength]) noexcept {
    if (passphrase == nullptr || ssid == nullptr || pmk == nullptr || passphraseLength > ULONG_MAX ||
        ssidLength > ULONG_MAX) {
        return false;
    }
    BCRYPT_ALG_HANDLE hmac = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&hmac, BCRYPT_SHA1_ALGORITHM, nullptr,
                                                      BCRYPT_ALG_HANDLE_HMAC_FLAG))) {
        return false;
    }
    // The API takes non-const buffers but only reads the pass phrase and the salt.
    const NTSTATUS status = ::BCryptDeriveKeyPBKDF2(
        hmac, reinterpret_cast<PUCHAR>(const_cast<char*>(passphrase)), static_cast<ULONG>(passphraseLength),
        const_cast<PUCHAR>(ssid), static_cast<ULONG>(ssidLength), kPMKIterations, pmk,
        static_cast<ULONG>(kPMKLength), 0);
    ::BCryptCloseAlgorithmProvider(hmac, 0);
    if (!BCRYPT_SUCCESS(status)) {
        WipeSecret(pmk, kPMKLength);
        return false;
    }
    return true;
}

void WipeSecret(void* bytes, std::size_t length) noexcept {
    ::SecureZeroMemory(bytes, length);
}

bool SecretsEqual(const void* a, const void* b, std::size_t length) noexcept {
    const volatile unsigned char* left = static_cast<const volatile unsigned char*>(a);
    const volatile unsigned char* right = static_cast<const volatile unsigned char*>(b);
    unsigned char difference = 0;
    for (std::size_t i = 0; i < length; ++i) {
        difference = static_cast<unsigned char>(difference | (left[i] ^ right[i]));
    }
    return difference == 0;
}

} // namespace airvane::sim
