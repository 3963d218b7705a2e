#pragma once

#include "airvane/Export.h"

#include <cstdint>
#include <memory>

namespace airvane::platform {

// Predefined root keys.
constexpr std::uint32_t kHKeyClassesRoot = 0x80000000u;
constexpr std::uint32_t kHKeyCurrentUser = 0x80000001u;
constexpr std::uint32_t kHKeyLocalMachine = 0x80000002u;
constexpr std::uint32_t kHKeyUsers = 0x80000003u;
constexpr std::uint32_t kHKeyCurrentConfig = 0x80000005u;
constexpr std::uint32_t kHKeyDynData = 0x80000006u;

// Whether `root` is one of the root keys above, the only ones the calls below accept (the
// system's performance data, 0x80000004, is not a key store).
constexpr bool IsPredefinedRoot(std::uint32_t root) {
    return root >= kHKeyClassesRoot && root <= kHKeyDynData && root != 0x80000004u;
}

// Value types.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;

// Opaque handle of an open key. Several threads may use one handle at once; closing it while
// another thread uses it is an error.
struct stRegKey;
using RegKeyHandle = stRegKey*;

enum class RegResult {
    Success,
    NotFound, // key or value missing
    MoreData, // buffer too small; the size holds the size needed
    Failure,  // store unreadable, corrupt, read-only, or another error
};

// Creates the key (and its missing ancestors) under a root and opens it for writing.
AIRVANE_API RegResult RegistryCreateKey(std::uint32_t root, const char* subKey, RegKeyHandle& key);

// Opens an existing key. `forWrite` asks for write access only: such a key sets values and
// cannot be queried (a key from RegistryCreateKey does both). A root key (a null or empty
// `subKey`) always exists, whether or not anything was ever stored under it.
AIRVANE_API RegResult RegistryOpenKey(std::uint32_t root, const char* subKey, bool forWrite,
                                      RegKeyHandle& key);

// Stores a value of the given type (the bytes are kept exactly; on Windows the system keeps
// the text types 1 and 2 in UTF-16, converted through the system code page). One transaction.
AIRVANE_API RegResult RegistrySetValue(RegKeyHandle key, const char* valueName, std::uint32_t type,
                                       const void* data, std::uint32_t size);

// Reads a value. `type` may be null. With a null `data`, reports the size in `size` and
// succeeds. With a buffer, `size` holds its capacity on entry and the stored count on
// return; when the buffer is too small, returns MoreData and sets `size` to the size needed.
AIRVANE_API RegResult RegistryQueryValue(RegKeyHandle key, const char* valueName, std::uint32_t* type,
                                         void* data, std::uint32_t& size);

// Closes a key; null is ignored.
AIRVANE_API void RegistryCloseKey(RegKeyHandle key);

// Owns an open key and closes it when it goes away.
struct stRegKeyCloser {
    void operator()(RegKeyHandle key) const { RegistryCloseKey(key); }
};
using RegKeyOwner = std::unique_ptr<stRegKey, stRegKeyCloser>;

} // namespace airvane::platform
