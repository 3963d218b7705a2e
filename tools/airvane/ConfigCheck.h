#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct stXMLNode;

// Explanations of a configuration file for the people who write one.
namespace airvane::cli {

// Why a configuration gives no usable adapter, one reason per entry: the file unreadable or
// read as no ADAPTER element; for each ADAPTER, whether its module loaded (with the loader's
// own reason when not) and exports WLAN_GetAdapter, and what became of its DEVICE elements.
std::vector<std::string> ExplainNoAdapter(const std::string& file);

// A place in a text where the configuration reader does something an author may not expect.
struct stReaderTrap {
    std::size_t line = 0;   // 1-based
    std::size_t column = 0; // 1-based, in bytes
    std::string text;
};

// Scans the raw text (independently of the reader) for tags the reader drops or reads in a
// surprising way: unclosed and stray tags, comments holding ">", ">" in a quoted value or
// outside any tag, and "<" without ">". Each tag is paired through an index of the open tags by
// name, so the scan is linear in the text's length; sorting the findings by place adds a log factor.
std::vector<stReaderTrap> FindReaderTraps(const std::string& text);

// The tree as the library sees it: one line per element, with its attributes and its text (a
// line feed in a name or value shown as a space), indented two spaces per level down to depth 32
// (the top-level elements being at depth 0). Deeper lines keep the indentation of depth 32 and
// start with "[depth N] ", so the output stays linear in the tree's size however deep it goes.
std::string DescribeTree(const stXMLNode* root);

} // namespace airvane::cli
