#include "airvane/system/Registry.h"

#include "airvane/platform/RegistryBackend.h"
#include "airvane/platform/internal/Guard.h"
#include "airvane/security/internal/SecureWipe.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

namespace platform = airvane::platform;

struct stRootName {
    const char* name;
    std::uint32_t handle;
};

// Root names accepted at the start of a key path, compared exactly.
constexpr stRootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", platform::kHKeyClassesRoot},     {"HKEY_CURRENT_USER", platform::kHKeyCurrentUser},
    {"HKEY_LOCAL_MACHINE", platform::kHKeyLocalMachine},   {"HKEY_USERS", platform::kHKeyUsers},
    {"HKEY_CURRENT_CONFIG", platform::kHKeyCurrentConfig}, {"HKEY_DYN_DATA", platform::kHKeyDynData},
};

constexpr char kPathSeparator = '\\';

// Opens the key of a path; null when that fails. Setting a value creates the key (with its
// missing ancestors) or, when creating is refused, opens the existing key with write access only.
platform::RegKeyOwner OpenKey(const char* keyPath, bool forSet) {
    std::uint32_t root = 0;
    std::string subKey;
    if (RegistryParsePath(keyPath, root, subKey) == 0) {
        return nullptr;
    }
    platform::RegKeyHandle key = nullptr;
    const bool opened =
        (forSet && platform::RegistryCreateKey(root, subKey.c_str(), key) == platform::RegResult::Success) ||
        platform::RegistryOpenKey(root, subKey.c_str(), forSet, key) == platform::RegResult::Success;
    return platform::RegKeyOwner(opened ? key : nullptr);
}

int SetValue(const char* keyPath, const char* valueName, std::uint32_t type, const void* data,
             std::uint32_t size) {
    const platform::RegKeyOwner key = OpenKey(keyPath, true);
    return key != nullptr && platform::RegistrySetValue(key.get(), valueName, type, data, size) ==
                                 platform::RegResult::Success
               ? 1
               : 0;
}

} // namespace

int RegistryParsePath(const char* keyPath, std::uint32_t& root, std::string& subKey) {
    if (keyPath == nullptr) {
        return 0;
    }
    return airvane::Guard(0, [&] {
        subKey = keyPath;
        const std::size_t separator = subKey.find(kPathSeparator);
        if (separator == std::string::npos) {
            return 0;
        }
        const std::string rootName = subKey.substr(0, separator);
        subKey.erase(0, separator + 1);
        root = 0;
        for (const stRootName& entry : kRootNames) {
            if (rootName == entry.name) {
                root = entry.handle;
                break;
            }
        }
        return root != 0 ? 1 : 0;
    });
}

int RegistrySetString(const char* keyPath, const char* valueName, const char* text) {
    if (text == nullptr) {
        return 0;
    }
    // The terminating zero is part of the stored value.
    const std::size_t length = std::strlen(text) + 1;
    if (length > UINT32_MAX) {
        return 0;
    }
    return SetValue(keyPath, valueName, platform::kRegSz, text, static_cast<std::uint32_t>(length));
}

int RegistrySetBinary(const char* keyPath, const char* valueName, const unsigned char* data,
                      std::uint32_t count) {
    if (data == nullptr && count != 0) {
        return 0;
    }
    return SetValue(keyPath, valueName, platform::kRegBinary, data, count);
}

int RegistryGetString(const char* keyPath, const char* valueName, std::string& text) {
    const platform::RegKeyOwner key = OpenKey(keyPath, false);
    if (key == nullptr) {
        return 0;
    }
    return airvane::Guard(0, [&] {
        std::uint32_t type = platform::kRegNone;
        std::uint32_t size = 0;
        if (platform::RegistryQueryValue(key.get(), valueName, &type, nullptr, size) ==
                platform::RegResult::Success &&
            size != 0) {
            // Exactly the value's bytes: a text stored without its zero ends at the last byte.
            std::vector<char> buffer(size, '\0');
            // The value may be key material: no way out releases the buffer unwiped.
            const struct stWipeOnExit {
                std::vector<char>& bytes;
                ~stWipeOnExit() { airvane::security::SecureWipe(bytes.data(), bytes.size()); }
            } wipe{buffer};
            if (platform::RegistryQueryValue(key.get(), valueName, &type, buffer.data(), size) ==
                    platform::RegResult::Success &&
                (type == platform::kRegSz || type == platform::kRegExpandSz)) {
                const void* zero = std::memchr(buffer.data(), '\0', size);
                const std::size_t length =
                    zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - buffer.data())
                                    : size;
                text.assign(buffer.data(), length);
                return 1;
            }
        }
        return 0;
    });
}

int RegistryGetBinary(const char* keyPath, const char* valueName, unsigned char* buffer,
                      std::uint32_t& count) {
    const platform::RegKeyOwner key = OpenKey(keyPath, false);
    return key != nullptr && platform::RegistryQueryValue(key.get(), valueName, nullptr, buffer, count) ==
                                 platform::RegResult::Success
               ? 1
               : 0;
}
