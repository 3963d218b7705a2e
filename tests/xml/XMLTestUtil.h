#pragma once

#include "airvane/xml/XMLReader.h"
#include "airvane/xml/XMLTree.h"
#include "airvane/xml/XMLWriter.h"
#include "airvane/xml/internal/XMLMemory.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace airvane::test {

struct stTreeDeleter {
    void operator()(stXMLNode* node) const { XMLFreeTree(node); }
};
using XMLTreePtr = std::unique_ptr<stXMLNode, stTreeDeleter>; // a chain freed with XMLFreeTree

struct stStringDeleter {
    void operator()(char* text) const { XMLFreeString(text); }
};
using XMLStringPtr = std::unique_ptr<char, stStringDeleter>; // a block released with XMLFreeString

inline XMLTreePtr Parse(const std::string& text) {
    return XMLTreePtr(XMLParseText(text.c_str(), static_cast<std::uint32_t>(text.size()), nullptr));
}

// A compact picture of a chain: name[attr=value,...]="value"{children}, nodes separated by
// spaces; a null value shows no ="...", a null name or attribute value shows as (null).
// Checks that every node points back to `parent`.
inline std::string Dump(const stXMLNode* node, const stXMLNode* parent = nullptr) {
    const auto text = [](const char* s) { return std::string(s != nullptr ? s : "(null)"); };
    std::string out;
    for (const stXMLNode* first = node; node != nullptr; node = node->nextSibling) {
        EXPECT_EQ(node->parent, parent) << "node " << text(node->name);
        out += (node != first ? " " : "") + text(node->name);
        for (const stXMLAttribute* a = node->attributes; a != nullptr; a = a->next) {
            out += (a == node->attributes ? "[" : ",") + text(a->name) + '=' + text(a->value);
            out += a->next == nullptr ? "]" : "";
        }
        out += node->value != nullptr ? "=\"" + std::string(node->value) + '"' : "";
        out += node->firstChild != nullptr ? '{' + Dump(node->firstChild, node) + '}' : "";
    }
    return out;
}

// Measures, then writes into a buffer of exactly the measured size + 1 (a guard byte after it
// catches a write past the end) and checks both counts agree.
inline std::string Serialize(const stXMLNode* node, int withSiblings) {
    const std::uint32_t count = XMLSerialize(node, nullptr, withSiblings);
    std::vector<char> buffer(count + 2, '#');
    EXPECT_EQ(XMLSerialize(node, buffer.data(), withSiblings), count);
    EXPECT_EQ(std::string(&buffer[count], 2), std::string("\0#", 2));
    return std::string(buffer.data(), count);
}

} // namespace airvane::test
