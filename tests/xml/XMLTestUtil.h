#pragma once

#include "airvane/xml/XMLReader.h"
#include "airvane/xml/XMLTree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace airvane::test {

struct stTreeDeleter {
    void operator()(stXMLNode* node) const { XMLFreeTree(node); }
};
// A tree (a top-level chain) freed with XMLFreeTree.
using XMLTreePtr = std::unique_ptr<stXMLNode, stTreeDeleter>;

struct stStringDeleter {
    void operator()(char* text) const { XMLFreeString(text); }
};
// A string block released with XMLFreeString.
using XMLStringPtr = std::unique_ptr<char, stStringDeleter>;

inline XMLTreePtr Parse(const std::string& text) {
    return XMLTreePtr(XMLParseText(text.c_str(), static_cast<std::uint32_t>(text.size()), nullptr));
}

// A compact picture of a chain: each node as name[attr=value,...]="value"{children}, nodes
// separated by spaces; a null value shows as no ="...", a null attribute value as =(null).
// Checks on the way that every child points back to its parent.
inline std::string Dump(const stXMLNode* node) {
    std::string out;
    for (const stXMLNode* first = node; node != nullptr; node = node->nextSibling) {
        if (node != first) {
            out += ' ';
        }
        out += node->name != nullptr ? node->name : "(null)";
        if (node->attributes != nullptr) {
            out += '[';
            for (const stXMLAttribute* attribute = node->attributes; attribute != nullptr;
                 attribute = attribute->next) {
                out += attribute->name != nullptr ? attribute->name : "(null)";
                out += '=';
                out += attribute->value != nullptr ? attribute->value : "(null)";
                if (attribute->next != nullptr) {
                    out += ',';
                }
            }
            out += ']';
        }
        if (node->value != nullptr) {
            out += "=\"";
            out += node->value;
            out += '"';
        }
        if (node->firstChild != nullptr) {
            for (const stXMLNode* child = node->firstChild; child != nullptr; child = child->nextSibling) {
                EXPECT_EQ(child->parent, node) << "child " << (child->name ? child->name : "(null)");
            }
            out += '{' + Dump(node->firstChild) + '}';
        }
    }
    return out;
}

// Number of nodes in a chain (not counting children).
inline int ChainLength(const stXMLNode* node) {
    int count = 0;
    for (; node != nullptr; node = node->nextSibling) {
        ++count;
    }
    return count;
}

} // namespace airvane::test
