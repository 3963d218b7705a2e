// Key-renewal module of the simulator, loaded by the library as WepPlusInventel.dll.
//
// RunWepPlus agrees a fresh WEP key with the access point of the simulated adapter's
// current link: it draws random key bytes of the method's key length (104 bits when the
// method has no key), proposes them to the access point, and when the access point accepts,
// makes them the method's key and stores them in the key store as the adapter's last
// generated key. It refuses adapters of other plug-ins.

#include "airvane/Export.h"
#include "airvane/security/SecureWipe.h"
#include "airvane/security/WEPPlusSecureMethod.h"
#include "plugins/sim/SimWepPlusAdapter.h"

#include <cstdint>
#include <exception>
#include <random>

namespace {

constexpr std::uint32_t kDefaultKeyBits = 104;
constexpr std::uint32_t kMaxKeyBytes = 32;

bool DrawKey(std::uint8_t* key, std::uint32_t count) {
    try {
        std::random_device source;
        std::uniform_int_distribution<int> byte(0, 255);
        for (std::uint32_t i = 0; i < count; ++i) {
            key[i] = static_cast<std::uint8_t>(byte(source));
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

AIRVANE_PLUGIN_EXPORT int RunWepPlus(CWLANWEPPlusSecureMethod* method, IWepPlusAdapter* adapter) {
    airvane::sim::ISimWepPlusAdapter* simAdapter = airvane::sim::AsSimWepPlusAdapter(adapter);
    if (method == nullptr || simAdapter == nullptr) {
        return 0;
    }
    std::uint32_t sizeInBit = method->GetKeySizeInBit();
    if (sizeInBit / 8 == 0 || sizeInBit / 8 > kMaxKeyBytes) {
        sizeInBit = kDefaultKeyBits;
    }
    sizeInBit -= sizeInBit % 8;
    std::uint8_t key[kMaxKeyBytes] = {};
    const std::uint32_t bytes = sizeInBit / 8;
    int established = 0;
    if (DrawKey(key, bytes) && simAdapter->RenewAccessPointKey(key, sizeInBit) != 0) {
        method->SetKey(key, sizeInBit);
        // The key is in use on the link whether or not the store accepts it.
        method->SetLastGeneratedKey(adapter, key, sizeInBit);
        established = 1;
    }
    airvane::security::SecureWipe(key, sizeof key);
    return established;
}
