#pragma once

#include "airvane/Export.h"

#include <cstddef>

namespace airvane::platform {

// Multibyte text helpers. The POSIX backend treats each byte as one character, which is
// safe for UTF-8 (a search for ASCII delimiters never stops inside a sequence). The Win32
// backend uses the C runtime's multibyte functions, which follow the process's multibyte code
// page: on a single-byte code page they give the same results, on a double-byte one a lead
// byte and the byte after it count as one character.

// First occurrence of `needle` in `text`, or null.
AIRVANE_API const char* MbsStr(const char* text, const char* needle);
// First occurrence of byte `c` in `text` (not the terminator), or null.
AIRVANE_API const char* MbsChr(const char* text, int c);
// Last occurrence of byte `c` in `text`, or null.
AIRVANE_API const char* MbsRChr(const char* text, int c);
// First character of `text` that is in `set`, or null.
AIRVANE_API const char* MbsPbrk(const char* text, const char* set);
// Exact comparison as unsigned bytes: <0, 0, >0.
AIRVANE_API int MbsCmp(const char* a, const char* b);
// Copies at most `bytes` bytes of `src` to `dst` (stops after the terminator, like strncpy
// without padding); `dst` is not terminated when `src` is longer.
AIRVANE_API void MbsNbCpy(char* dst, const char* src, std::size_t bytes);

} // namespace airvane::platform
