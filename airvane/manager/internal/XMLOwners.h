#pragma once

#include "airvane/xml/XMLTree.h"

#include <memory>

// Owners of what the XML operations hand out, released on scope exit.
struct stXMLStringRelease {
    void operator()(char* text) const { XMLFreeString(text); }
};
struct stXMLTreeRelease {
    void operator()(stXMLNode* root) const { XMLFreeTree(root); }
};
// A copy returned by XMLGetAttribute.
using XMLStringOwner = std::unique_ptr<char, stXMLStringRelease>;
// A whole document.
using XMLTreeOwner = std::unique_ptr<stXMLNode, stXMLTreeRelease>;
