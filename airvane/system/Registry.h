#pragma once

#include "airvane/Export.h"

#include <cstdint>
#include <string>

// Single-value registry access under a textual key path such as
// "HKEY_CURRENT_USER\Software\Vendor\Keys": the root name, one backslash, the subkey path.
// Each call opens the key, does one thing and closes it. All return 1 on success, 0 on failure.
// Root names are compared exactly; subkey paths and value names compare without regard to
// ASCII case. A null value name is the key's unnamed value.

// Splits a key path into its predefined root handle and subkey path. The subkey output
// receives a copy of the path first; without a "\" the root output is left alone, with an
// unknown root name it is set to 0.
AIRVANE_API int RegistryParsePath(const char* keyPath, std::uint32_t& root, std::string& subKey);
// Stores a zero-terminated text as a string value (with its terminating zero).
AIRVANE_API int RegistrySetString(const char* keyPath, const char* valueName, const char* text);
// Stores `count` bytes as a binary value. Missing keys along the path are created; when a
// key cannot be created, an existing one is opened for setting the value instead.
AIRVANE_API int RegistrySetBinary(const char* keyPath, const char* valueName, const unsigned char* data,
                                  std::uint32_t count);
// Reads a string value (plain or expandable, not expanded); other types fail and leave
// `text` unchanged. The text ends at the first zero or at the value's last byte; a value
// of no bytes fails.
AIRVANE_API int RegistryGetString(const char* keyPath, const char* valueName, std::string& text);
// Reads a value of any type into `buffer`; `count` holds the capacity on entry and the
// stored count on return (the size needed when the buffer is too small, which fails). A null
// `buffer` succeeds and reports the value's size.
AIRVANE_API int RegistryGetBinary(const char* keyPath, const char* valueName, unsigned char* buffer,
                                  std::uint32_t& count);
