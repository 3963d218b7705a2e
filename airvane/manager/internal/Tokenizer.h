#pragma once

#include "airvane/Export.h"

#include <cstddef>

// Splits a text at a set of delimiter characters, one token per call, and trims a second
// set of characters from both ends of each token. Every byte is one character.
//
// - `cursor` and `remaining` are the scan position and the count of characters still to
//   scan; both advance past the token and past the delimiter that ended it.
// - Two delimiters in a row give an empty token, a delimiter at the start gives an empty
//   first token, a delimiter as the last character ends the scan without a further empty
//   token, and once `remaining` is 0 every call gives an empty token.
// - `tokenBuffer`/`tokenCapacity` are a buffer owned by the caller, started as null and 0:
//   it is reused while tokens fit and replaced by a larger one when a longer token comes.
//   Release it with ReleaseTokenBuffer. On return it holds the zero-terminated token.
//
// Returns 1, or 0 when no memory was left for a larger buffer (the buffer is then null,
// the capacity 0, and the scan position has still moved past the token).
AIRVANE_API int NextToken(const char* delimiters, const char* trimSet, const char*& cursor,
                          std::size_t& remaining, char*& tokenBuffer, std::size_t& tokenCapacity);

// Releases a buffer grown by NextToken and resets it to null and 0.
AIRVANE_API void ReleaseTokenBuffer(char*& tokenBuffer, std::size_t& tokenCapacity);
