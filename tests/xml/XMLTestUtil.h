#pragma once

#include "airvane/xml/XMLReader.h"
#include "airvane/xml/XMLTree.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

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
    std::string out;
    for (const stXMLNode* first = node; node != nullptr; node = node->nextSibling) {
        EXPECT_EQ(node->parent, parent) << "node " << (node->name ? node->name : "(null)");
        out += std::string(node != first ? " " : "") + (node->name != nullptr ? node->name : "(null)");
        for (const stXMLAttribute* attribute = node->attributes; attribute != nullptr;
             attribute = attribute->next) {
            out += attribute == node->attributes ? '[' : ',';
            out += std::string(attribute->name != nullptr ? attribute->name : "(null)") + '=' +
                   (attribute->value != nullptr ? attribute->value : "(null)");
            out += attribute->next == nullptr ? "]" : "";
        }
        if (node->value != nullptr) {
            out += "=\"" + std::string(node->value) + '"';
        }
        if (node->firstChild != nullptr) {
            out += '{' + Dump(node->firstChild, node) + '}';
        }
    }
    return out;
}

} // namespace airvane::test
