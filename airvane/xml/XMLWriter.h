#pragma once

#include "airvane/xml/XMLTree.h"

// Writes `node` (and, when `withSiblings` is non-zero, every sibling after it) as text.
// With a null buffer it only measures; with a buffer of at least the measured count + 1
// bytes it writes the text and a terminating zero. Returns the byte count of the text,
// without the terminating zero; 0 for a null node. Nothing is escaped; a null name or value is
// written as empty text (an attribute whose value is null as name=""), and an attribute without
// a name as its separating space only.
AIRVANE_API std::uint32_t XMLSerialize(const stXMLNode* node, char* buffer, int withSiblings);
