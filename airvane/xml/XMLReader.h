#pragma once

#include "airvane/xml/XMLTree.h"

#include <cstdint>

// The reader works by substring search over 8-bit text, one level at a time: it finds tags by
// their "<" and ">", pairs an element with its closing tag by searching for the literal
// closing tag, and drops any tag that is neither an empty-element tag nor closed anywhere in
// the level's text. Searches are byte-based, as the platform's multibyte helpers are.
//
// What it does beyond the documented limits, so that no input can crash it, make it read out
// of bounds, loop, leak or take more than O(n log n) time in the text's length n:
//  - A tag whose first word is longer than 124 bytes is not an element: it is passed over like
//    a tag that is never closed, and the level goes on after its first ">". The "/" of an
//    empty-element tag written without a blank before it ("<name/>") belongs to the first word.
//  - A "<" with no ">" after it, or with nothing but white space or ">" right after it (unless
//    it is an empty-element tag, which makes a node with an empty name), ends the level: the
//    rest of the text, from the position, is the element's text.
//  - A CDATA section without "]]>" ends the level; as element text it runs to the end.
//  - When the nested opening tags of an element's name outnumber its closing tags, the
//    element's content is empty (as when there is no closing tag at all after an opening one).
//  - Nesting depth is limited by memory only; the levels are walked without recursion.
//  - The tree one parse builds is held to a memory budget (XMLSetMemoryBudget). When the budget
//    is spent, or memory runs out, the parse fails: every node it built is released, it returns
//    null, and a caller's parent keeps the text it had. A part of a tree would read as a whole
//    document that says something else (an element without some of its attributes or
//    children). A parse that is bound to spend the budget may fail before it is spent: each
//    ">" before an empty-element tag makes the level read the tag again, into one more node
//    with all its attributes, and when those nodes cannot all fit the parse fails at once.
//  - A text is read up to its first zero byte, and never beyond `length` bytes.

// Reads a whole file and parses it; returns the first top-level node, or null when the file
// cannot be opened or sized, when no element is found, or when the parse fails (memory or the
// budget ran out). The text ends at the first zero byte.
AIRVANE_API stXMLNode* XMLLoadFile(const char* path);

// Parses one level of `text` (`length` bytes, at least the length of the zero-terminated
// text) under `parent` (or at top level when null); returns the first node of the chain of
// elements found, or null (none found, or the parse failed). The text itself is never
// modified; it is read up to its first zero byte and never beyond `length` bytes. With a
// parent, the parent's value is replaced by the text that follows the last tag of the level
// (the caller links the returned chain as the parent's children); `text` may be that parent's
// own text, released once read.
AIRVANE_API stXMLNode* XMLParseText(const char* text, std::uint32_t length, stXMLNode* parent);

// Sets, for every later parse of the process (XMLParseText, XMLLoadFile), the memory the tree of
// one parse may use: `bytesPerTextByte` times the text's length plus `extraBytes`, each node,
// attribute and string block counted with the memory it takes up (its size rounded up to the
// allocator's size class, and the allocator's header). Past it the parse fails as when no
// memory is left, returning null. The default is
// 64 bytes per text byte plus 64 MiB. A sum past 2^64 - 1 bytes (`extraBytes` of UINT64_MAX,
// for one) sets no limit. It may be called while other threads parse: each parse takes the two
// numbers of one call together.
AIRVANE_API void XMLSetMemoryBudget(std::uint32_t bytesPerTextByte, std::uint64_t extraBytes);
