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

// Blocks of up to 16 KiB come from 64 KiB slabs of one size class each, with nothing between
// them; a block's slab starts at the 64 KiB boundary below it. Larger blocks are each placed
// behind a header of that form on a 64 KiB boundary inside a block of the C library.
namespace small_blocks {

constexpr std::size_t kSlabBytes = 64 * 1024;
// The slab's (or a large block's) header: the first block starts this far into the slab.
constexpr std::size_t kSlabHeaderBytes = 64;
// Payload bytes of each class: steps of 16 bytes (8 for the smallest) up to 64, then two classes
// per power of two. Larger requests are blocks of their own.
constexpr std::size_t kClassBytes[] = {8,   16,   32,   48,   64,   96,   128,  192,  256,   384,  512,
                                       768, 1024, 1536, 2048, 3072, 4096, 6144, 8192, 12288, 16384};
constexpr std::size_t kClassCount = sizeof kClassBytes / sizeof kClassBytes[0];
constexpr std::size_t kLargest = kClassBytes[kClassCount - 1];
// The class of a request of 0 to kTabledBytes bytes, by its size in 8-byte units (rounded up).
constexpr std::size_t kTabledBytes = 256;
constexpr unsigned char kClassByEighths[] = {0, 0, 1, 2, 2, 3, 3, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6,
                                             7, 7, 7, 7, 7, 7, 7, 7, 8, 8, 8, 8, 8, 8, 8, 8};
static_assert(sizeof kClassByEighths == kTabledBytes / 8 + 1, "one class per 8-byte step");

static_assert(kTabledBytes == 256 && kClassByEighths[kTabledBytes / 8] == 8 && kClassBytes[9] == 384,
              "LargerClassOf's steps past the table");

// The class of a request of 0 to kTabledBytes bytes.
inline std::size_t TabledClassOf(std::size_t bytes) {
    return kClassByEighths[(bytes + 7) / 8];
}

// The class of a request of more than kTabledBytes and at most kLargest bytes: two classes per
// power of two, (2^p, 1.5 * 2^p] and (1.5 * 2^p, 2^(p+1)], from class 9 (384 bytes), the one
// after the table's last (2^8 = 256 bytes).
inline std::size_t LargerClassOf(std::size_t bytes) {
    const std::size_t last = bytes - 1;
    const unsigned power = static_cast<unsigned>(sizeof(unsigned long long) * 8 - 1) -
                           static_cast<unsigned>(__builtin_clzll(last));
    const std::size_t upper = (last >> (power - 1)) & 1;
    return 9 + 2 * (power - 8) + upper;
}

inline std::size_t ClassOf(std::size_t bytes) {
    return bytes <= kTabledBytes ? TabledClassOf(bytes) : LargerClassOf(bytes);
}

} // namespace small_blocks

// The memory a block of `bytes` bytes takes up: its class's size, or past the classes the C
// library's block that holds it (64 KiB more, for the boundary and the header), with its
// rounding to 16 bytes and its own header.
inline std::size_t GlobalBlockFootprint(std::size_t bytes) {
    using namespace small_blocks;
    if (bytes <= kLargest) {
        return kClassBytes[ClassOf(bytes)];
    }
    constexpr std::size_t kOverhead = kSlabBytes + kSlabHeaderBytes + 16;
    if (bytes > static_cast<std::size_t>(-1) - kOverhead - 15) {
        return static_cast<std::size_t>(-1);
    }
    return (bytes + 15) / 16 * 16 + kOverhead;
}

#endif

} // namespace airvane::platform
