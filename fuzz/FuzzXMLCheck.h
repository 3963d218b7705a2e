#pragma once

#include "airvane/xml/XMLTree.h"

// Serializes `node` without its siblings and, when it has any, with them; aborts when the
// measured length differs from the written one or the written text is not zero-terminated at
// that length.
void CheckSerialization(const stXMLNode* node);
// The same checks for one serialization (`withSiblings` as XMLSerialize takes it).
void CheckSerialization(const stXMLNode* node, int withSiblings);
