#pragma once

// Internal helpers of the XML reader and tree: string blocks, entity decoding and trimming.
// Not part of the exported interface.

#include <cstddef>

namespace airvane::xml {

// A new string block of exactly length + 1 bytes holding `text[0, length)` and a zero;
// null when no memory is left.
char* CopyToStringBlock(const char* text, std::size_t length);

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

// The decoded form of `text[0, length)` in a new string block sized exactly; with `trimSet`
// the characters of that set are then trimmed from the start and then from the end (up to a
// zero byte, if one remains; the end never loses the first character left). Null when no
// memory is left.
char* DecodeToStringBlock(const char* text, std::size_t length, const char* trimSet);

} // namespace airvane::xml
