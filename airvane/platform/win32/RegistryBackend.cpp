#include "airvane/platform/RegistryBackend.h"

#include <windows.h>

#include <new>

// The system registry through the Reg*ExA calls. Keys are created with full access and
// opened for setting values or for reading, never with more rights than the call needs.

namespace airvane::platform {

struct stRegKey {
    HKEY key = nullptr;
};

namespace {

// The predefined handles are the root values sign-extended to the pointer's width.
bool ToRootKey(std::uint32_t root, HKEY& key) {
    if (!IsPredefinedRoot(root)) {
        return false;
    }
    key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(root))));
    return true;
}

RegResult ToResult(LSTATUS status) {
    switch (status) {
    case ERROR_SUCCESS:
        return RegResult::Success;
    case ERROR_FILE_NOT_FOUND:
        return RegResult::NotFound;
    case ERROR_MORE_DATA:
        return RegResult::MoreData;
    default:
        return RegResult::Failure;
    }
}

RegResult Wrap(LSTATUS status, HKEY opened, RegKeyHandle& key) {
    if (status != ERROR_SUCCESS) {
        return ToResult(status);
    }
    key = new (std::nothrow) stRegKey{opened};
    if (key == nullptr) {
        ::RegCloseKey(opened);
        return RegResult::Failure;
    }
    return RegResult::Success;
}

} // namespace

RegResult RegistryCreateKey(std::uint32_t root, const char* subKey, RegKeyHandle& key) {
    key = nullptr;
    HKEY rootKey = nullptr;
    if (!ToRootKey(root, rootKey)) {
        return RegResult::Failure;
    }
    HKEY opened = nullptr;
    const LSTATUS status =
        ::RegCreateKeyExA(rootKey, subKey != nullptr ? subKey : "", 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &opened, nullptr);
    return Wrap(status, opened, key);
}

RegResult RegistryOpenKey(std::uint32_t root, const char* subKey, bool forWrite, RegKeyHandle& key) {
    key = nullptr;
    HKEY rootKey = nullptr;
    if (!ToRootKey(root, rootKey)) {
        return RegResult::Failure;
    }
    HKEY opened = nullptr;
    const LSTATUS status = ::RegOpenKeyExA(rootKey, subKey != nullptr ? subKey : "", 0,
                                           forWrite ? KEY_SET_VALUE : KEY_READ, &opened);
    return Wrap(status, opened, key);
}

RegResult RegistrySetValue(RegKeyHandle key, const char* valueName, std::uint32_t type, const void* data,
                           std::uint32_t size) {
    if (key == nullptr || (data == nullptr && size != 0)) {
        return RegResult::Failure;
    }
    return ToResult(::RegSetValueExA(key->key, valueName, 0, type, static_cast<const BYTE*>(data), size));
}

RegResult RegistryQueryValue(RegKeyHandle key, const char* valueName, std::uint32_t* type, void* data,
                             std::uint32_t& size) {
    if (key == nullptr) {
        return RegResult::Failure;
    }
    DWORD storedType = 0;
    DWORD bytes = data != nullptr ? size : 0;
    const LSTATUS status =
        ::RegQueryValueExA(key->key, valueName, nullptr, &storedType, static_cast<BYTE*>(data), &bytes);
    if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        size = bytes;
        if (type != nullptr) {
            *type = storedType;
        }
    }
    return ToResult(status);
}

void RegistryCloseKey(RegKeyHandle key) {
    if (key == nullptr) {
        return;
    }
    ::RegCloseKey(key->key);
    delete key;
}

} // namespace airvane::platform
