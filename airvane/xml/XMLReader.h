#pragma once

#include "airvane/xml/XMLTree.h"

// Reads a whole file and parses it; returns the first top-level node, or null.
AIRVANE_API stXMLNode* XMLLoadFile(const char* path);

// Parses one level of `text` (`length` bytes, at least the length of the zero-terminated
// text) under `parent` (or at top level when null); returns the first node of the chain of
// elements found, or null. The text itself is never modified.
AIRVANE_API stXMLNode* XMLParseText(const char* text, std::uint32_t length, stXMLNode* parent);
