#pragma once

#include "airvane/platform/File.h"

#include <cstdint>

namespace airvane::platform {

// One read of at most `bytes` bytes from an open file into `out`, written by each backend;
// the count read, 0 at end of file or on an error.
std::uint32_t ReadSome(FileHandle file, char* out, std::uint32_t bytes);

} // namespace airvane::platform
