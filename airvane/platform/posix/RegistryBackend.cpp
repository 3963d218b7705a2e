#include "airvane/platform/RegistryBackend.h"

namespace airvane::platform {

RegResult RegCreateKey(std::uint32_t, const char*, RegKeyHandle& key) {
    key = nullptr;
    return RegResult::Failure;
}

RegResult RegOpenKey(std::uint32_t, const char*, bool, RegKeyHandle& key) {
    key = nullptr;
    return RegResult::Failure;
}

RegResult RegSetValue(RegKeyHandle, const char*, std::uint32_t, const void*, std::uint32_t) {
    return RegResult::Failure;
}

RegResult RegQueryValue(RegKeyHandle, const char*, std::uint32_t*, void*, std::uint32_t&) {
    return RegResult::Failure;
}

void RegCloseKey(RegKeyHandle) {}

} // namespace airvane::platform
