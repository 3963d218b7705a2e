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

#if defined(_WIN32)

// The memory a block of `bytes` bytes takes up: the process heap's header and its rounding to
// 16 bytes, about 32 bytes in all.
inline std::size_t GlobalBlockFootprint(std::size_t bytes) {
    constexpr std::size_t kHeapOverhead = 32;
    const std::size_t wanted = bytes == 0 ? 1 : bytes;
    if (wanted > static_cast<std::size_t>(-1) - kHeapOverhead - 15) {
        return static_cast<std::size_t>(-1);
    }
    return (wanted + 15) / 16 * 16 + kHeapOverhead;
}

#else

// Small blocks come from slabs of one size class each, behind a 16-byte header; larger ones from
// the C library, behind the same header.
namespace small_blocks {

constexpr std::size_t kHeaderBytes = 16;
// Payload bytes of each class; larger requests go to the C library.
constexpr std::size_t kClassBytes[] = {16, 32, 48, 64, 96, 128, 192, 256};
constexpr std::size_t kClassCount = sizeof kClassBytes / sizeof kClassBytes[0];
constexpr std::size_t kLargest = kClassBytes[kClassCount - 1];
// The class of a request of 1 to kLargest bytes, by its size in 16-byte units (rounded up).
constexpr unsigned char kClassBySixteenths[] = {0, 0, 1, 2, 3, 4, 4, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7};
static_assert(sizeof kClassBySixteenths == kLargest / 16 + 1, "one class per 16-byte step");

inline std::size_t ClassOf(std::size_t bytes) {
    return kClassBySixteenths[(bytes + 15) / 16];
}

} // namespace small_blocks

// The memory a block of `bytes` bytes takes up, with the header and the rounding to its class
// (or, past the classes, to the C library's 16 bytes and its own header).
inline std::size_t GlobalBlockFootprint(std::size_t bytes) {
    using namespace small_blocks;
    const std::size_t wanted = bytes == 0 ? 1 : bytes;
    if (wanted <= kLargest) {
        return kHeaderBytes + kClassBytes[ClassOf(wanted)];
    }
    constexpr std::size_t kLibraryOverhead = 16;
    if (wanted > static_cast<std::size_t>(-1) - kHeaderBytes - kLibraryOverhead - 15) {
        return static_cast<std::size_t>(-1);
    }
    return kHeaderBytes + (wanted + 15) / 16 * 16 + kLibraryOverhead;
}

#endif

} // namespace airvane::platform
