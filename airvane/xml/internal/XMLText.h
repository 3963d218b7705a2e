#pragma once

// Internal helpers of the XML reader and tree: string blocks, entity decoding and trimming.
// Not part of the exported interface.

#include "airvane/platform/internal/GlobalBlocks.h"
#include "airvane/platform/internal/WorkMemory.h"
#include "airvane/xml/internal/XMLMemory.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace airvane::xml {

// The memory a parse may still use for the tree it builds. Every block counts with the memory
// it takes up in global memory (GlobalBlockFootprint); a request past the limit is refused as if
// no memory were left.
class CTreeBudget {
public:
    explicit CTreeBudget(std::uint64_t limit) : m_left(limit) {}
    // Takes `bytes` (one block) from the budget; false, taking nothing, when they do not fit.
    // Once refused, every later request is refused too.
    bool Take(std::size_t bytes) {
        const std::uint64_t cost = platform::GlobalBlockFootprint(bytes);
        if (cost > m_left) {
            m_left = 0;
            return false;
        }
        m_left -= cost;
        return true;
    }
    std::uint64_t Left() const { return m_left; }

private:
    std::uint64_t m_left;
};

namespace detail {

// Copies `length` bytes, at least one word and at most two, as two words that may overlap.
template <class Word> void CopyTwoWords(char* to, const char* from, std::size_t length) {
    Word head;
    Word tail;
    std::memcpy(&head, from, sizeof(Word));
    std::memcpy(&tail, from + length - sizeof(Word), sizeof(Word));
    std::memcpy(to, &head, sizeof(Word));
    std::memcpy(to + length - sizeof(Word), &tail, sizeof(Word));
}

} // namespace detail

// Copies `length` bytes; the short names and values of a tree are copied without a call.
inline void CopyBytes(char* to, const char* from, std::size_t length) {
    if (length > 16) {
        std::memcpy(to, from, length);
    } else if (length >= 8) {
        detail::CopyTwoWords<std::uint64_t>(to, from, length);
    } else if (length >= 4) {
        detail::CopyTwoWords<std::uint32_t>(to, from, length);
    } else {
        for (std::size_t i = 0; i < length; ++i) {
            to[i] = from[i];
        }
    }
}

// A new string block of exactly length + 1 bytes holding `text[0, length)` and a zero, taken
// from `budget` when one is given; null when no memory is left. Inline: the reader makes one
// for every name and value of a tree, most of them a few bytes long.
inline char* CopyToStringBlock(const char* text, std::size_t length, CTreeBudget* budget = nullptr) {
    if (length == std::numeric_limits<std::size_t>::max() ||
        (budget != nullptr && !budget->Take(length + 1))) {
        return nullptr;
    }
    // Every byte is written here, so the block need not be zeroed first.
    char* block = static_cast<char*>(AllocateTreeBlock(length + 1, false));
    if (block != nullptr) {
        CopyBytes(block, text, length);
        block[length] = '\0';
    }
    return block;
}

// A string block copy of a zero-terminated text; null for a null text or when no memory.
char* DuplicateString(const char* text);

// Decodes the character entities of `text[0, length)` into `out` (when `out` is null it only
// measures) and returns the number of bytes produced, without a terminating zero.
//
// At each position the entities are tried in a fixed order and the first that begins there
// is replaced: "&lt;", "&gt;", "&#" digits ";", "&quot;" write their character and scanning
// goes on after the entity; "&amp;", "&acute;", "&eacute;", "&egrave;", "&ecirc;", "&apos;"
// put their character in place of the entity's ";" and scanning goes on at that character,
// so it is looked at again ("&amp;lt;" gives "<"). A numeric reference gives the low 8 bits
// of the decimal number its characters begin with (0 when they do not begin with a digit);
// a 0 byte ends the text.
//
// A numeric reference is only recognised when its ";" follows within four characters of
// "&#"; a longer or unterminated one is left as plain text (this also keeps decoding linear).
std::size_t DecodeEntities(const char* text, std::size_t length, char* out);

// How a decoded text is cut: as it is (an attribute's value), or with "\n" and "\t" trimmed
// from its start and then from its end, the end never losing the first character left (an
// element's text; spaces and "\r" remain).
enum class eTrim { kNone, kElementText };

namespace detail {

// The part of `text[0, length)` left when "\n" and "\t" are trimmed from the start and then
// from the end, the end never trimming away the first character left.
struct stKeptRange {
    std::size_t begin;
    std::size_t end;
};

inline stKeptRange TrimmedRange(const char* text, std::size_t length) {
    const auto trimmed = [](char c) { return c == '\n' || c == '\t'; };
    stKeptRange kept{0, length};
    while (kept.begin < kept.end && trimmed(text[kept.begin])) {
        ++kept.begin;
    }
    while (kept.end - kept.begin > 1 && trimmed(text[kept.end - 1])) {
        --kept.end;
    }
    return kept;
}

// A text up to this length is searched for "&" byte by byte: a call costs more.
constexpr std::size_t kShortText = 16;

inline const char* FindAmpersand(const char* text, std::size_t length) {
    if (length > kShortText) {
        return static_cast<const char*>(std::memchr(text, '&', length));
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == '&') {
            return text + i;
        }
    }
    return nullptr;
}

char* DecodeAnyToStringBlock(const char* text, std::size_t length, eTrim trim,
                             platform::WorkVector<char>& scratch, CTreeBudget& budget);

} // namespace detail

// The decoded form of `text[0, length)`, which holds no zero byte, in a new string block sized
// exactly, cut as `trim` says. Decoding runs once, into `scratch` (kept by the caller for reuse),
// except for a long untrimmed text, which is measured and then decoded into its block; the block
// is taken from `budget`. Null when no memory is left. Inline for the short texts without "&"
// that most values and element texts are: they are cut where they lie and copied.
inline char* DecodeToStringBlock(const char* text, std::size_t length, eTrim trim,
                                 platform::WorkVector<char>& scratch, CTreeBudget& budget) {
    if (length > detail::kShortText) {
        return detail::DecodeAnyToStringBlock(text, length, trim, scratch, budget);
    }
    // Looked for here rather than with FindAmpersand: leaving from inside the loop costs the
    // reader about 1 % fewer instructions on whole documents.
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == '&') {
            return detail::DecodeAnyToStringBlock(text, length, trim, scratch, budget);
        }
    }
    detail::stKeptRange kept{0, length};
    if (trim == eTrim::kElementText) {
        kept = detail::TrimmedRange(text, length);
    }
    return CopyToStringBlock(text + kept.begin, kept.end - kept.begin, &budget);
}

} // namespace airvane::xml
