#pragma once

#include "airvane/xml/XMLTree.h"

// Reads a whole file and parses it; returns the first top-level node, or null when the file
// cannot be opened or sized, or when no element is found. The text ends at the first zero byte.
AIRVANE_API stXMLNode* XMLLoadFile(const char* path);

// Parses one level of `text` (`length` bytes, at least the length of the zero-terminated
// text) under `parent` (or at top level when null); returns the first node of the chain of
// elements found, or null. The text itself is never modified; it is read up to its first zero
// byte and never beyond `length` bytes. With a parent, the parent's value is replaced by the
// text that follows the last tag of the level (the caller links the returned chain as the
// parent's children).
AIRVANE_API stXMLNode* XMLParseText(const char* text, std::uint32_t length, stXMLNode* parent);
