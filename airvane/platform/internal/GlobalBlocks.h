#pragma once

// The library's own calls into global memory (GlobalMemory.h), without going through the
// exported entry points. Not part of the exported interface.

#include <cstddef>

namespace airvane::platform {

// A global memory block of `bytes` bytes; zero-filled when `zeroed`, otherwise its contents are
// unspecified (for a caller that writes every byte itself). Null when no memory is left.
void* GlobalAllocBlock(std::size_t bytes, bool zeroed);
// Releases a block from GlobalAllocBlock or GlobalAllocZeroed; null is ignored.
void GlobalReleaseBlock(void* block);
// The memory a block of `bytes` bytes takes up, with the allocator's header and rounding.
std::size_t GlobalBlockFootprint(std::size_t bytes);

} // namespace airvane::platform
