#pragma once

#include "airvane/Export.h"

#include <cstddef>
#include <cstdint>

// The XML tree shared by layout with adapter plug-ins: they receive a DEVICE element as an
// stXMLNode pointer and read the records behind it. Every string held by a node or an
// attribute is a separate process-wide global memory block of exactly length + 1 bytes.

struct stXMLAttribute {
    char* name;           // attribute name exactly as written before "="
    char* value;          // decoded value, or null
    stXMLAttribute* next; // next attribute of the same element
};

struct stXMLNode {
    char* name;                 // element name, without "<", ">" or "/"
    char* value;                // the element's text, or null when it had no content
    stXMLAttribute* attributes; // first attribute
    stXMLNode* parent;          // null for top-level nodes; owns nothing
    stXMLNode* firstChild;      // first child element
    stXMLNode* nextSibling;     // next element with the same parent (or next top-level element)
};

// Both records are read field by field by other modules: each field is one pointer word, in
// the order above, with nothing else (6 and 3 words; 24 and 12 bytes in a 32-bit build).
static_assert(offsetof(stXMLAttribute, name) == 0 * sizeof(void*), "stXMLAttribute layout");
static_assert(offsetof(stXMLAttribute, value) == 1 * sizeof(void*), "stXMLAttribute layout");
static_assert(offsetof(stXMLAttribute, next) == 2 * sizeof(void*), "stXMLAttribute layout");
static_assert(sizeof(stXMLAttribute) == 3 * sizeof(void*), "stXMLAttribute layout");
static_assert(offsetof(stXMLNode, name) == 0 * sizeof(void*), "stXMLNode layout");
static_assert(offsetof(stXMLNode, value) == 1 * sizeof(void*), "stXMLNode layout");
static_assert(offsetof(stXMLNode, attributes) == 2 * sizeof(void*), "stXMLNode layout");
static_assert(offsetof(stXMLNode, parent) == 3 * sizeof(void*), "stXMLNode layout");
static_assert(offsetof(stXMLNode, firstChild) == 4 * sizeof(void*), "stXMLNode layout");
static_assert(offsetof(stXMLNode, nextSibling) == 5 * sizeof(void*), "stXMLNode layout");
static_assert(sizeof(stXMLNode) == 6 * sizeof(void*), "stXMLNode layout");

// Allocates a zero-filled global memory block for a string of `length` bytes plus its
// terminating zero; null when no memory is left.
AIRVANE_API char* XMLAllocString(std::size_t length);
// Releases a block from XMLAllocString or XMLGetAttribute; null is ignored.
AIRVANE_API void XMLFreeString(char* text);

// First child of `node` whose name equals `name` exactly (case-sensitive), or null. Null
// arguments find nothing, and a node without a name is never found.
AIRVANE_API stXMLNode* XMLFindChild(stXMLNode* node, const char* name);
// First node after `node` in its sibling chain whose name equals `name`, or null.
AIRVANE_API stXMLNode* XMLFindNextSibling(stXMLNode* node, const char* name);
// A new string block holding a copy of the attribute's value, owned by the caller (release
// it with XMLFreeString); null when there is no such attribute or its value is null.
AIRVANE_API char* XMLGetAttribute(stXMLNode* node, const char* name);
// Replaces the value of an existing attribute (null leaves it null), or appends a new
// attribute at the end of the list (a null value then adds nothing). A null node or name
// changes nothing; without memory for a copy a replaced value becomes null and nothing is added.
// `value` may be the attribute's own value (or any text of the tree): it is copied first.
AIRVANE_API void XMLSetAttribute(stXMLNode* node, const char* name, const char* value);
// Replaces the node's name with a copy of `name` (which may be the name held); null leaves the
// node without a name.
AIRVANE_API void XMLSetName(stXMLNode* node, const char* name);
// Makes a node named `name`, linked as the first child of `parent` when given; null when
// no memory is left.
AIRVANE_API stXMLNode* XMLCreateNode(const char* name, stXMLNode* parent);
// Frees the node, its following siblings, all their descendants, names, values and attributes.
AIRVANE_API void XMLFreeTree(stXMLNode* node);
