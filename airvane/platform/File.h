#pragma once

#include "airvane/Export.h"

#include <cstdint>

namespace airvane::platform {

// Opaque handle of an open file; kInvalidFile when none.
using FileHandle = std::intptr_t;
constexpr FileHandle kInvalidFile = -1;

// Opens an existing regular file for reading, shared with other readers. Folders, pipes and
// devices are refused (kInvalidFile), so that opening never waits.
AIRVANE_API FileHandle OpenFileForRead(const char* path);

// Size of an open file, low 32 bits. False when the size cannot be read.
AIRVANE_API bool GetFileSize32(FileHandle file, std::uint32_t& size);

// Reads up to `bytes` bytes into `buffer`; returns the count read (short at end of file).
AIRVANE_API std::uint32_t ReadFile(FileHandle file, void* buffer, std::uint32_t bytes);

AIRVANE_API void CloseFile(FileHandle file);

} // namespace airvane::platform
