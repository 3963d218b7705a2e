#include "airvane/xml/XMLTree.h"

#include "airvane/platform/MbString.h"
#include "airvane/xml/internal/XMLMemory.h"
#include "airvane/xml/internal/XMLText.h"

#include <cstring>
#include <limits>

namespace {

// Names compare exactly; a node or attribute left without a name matches nothing.
bool SameName(const char* held, const char* wanted) {
    return held != nullptr && airvane::platform::MbsCmp(held, wanted) == 0;
}

void FreeAttributes(stXMLAttribute* attribute) {
    while (attribute != nullptr) {
        stXMLAttribute* next = attribute->next;
        airvane::xml::ReleaseTreeBlock(attribute->name);
        airvane::xml::ReleaseTreeBlock(attribute->value);
        airvane::xml::ReleaseTreeBlock(attribute);
        attribute = next;
    }
}

} // namespace

char* XMLAllocString(std::size_t length) {
    if (length == std::numeric_limits<std::size_t>::max()) {
        return nullptr;
    }
    return static_cast<char*>(airvane::xml::AllocateTreeBlock(length + 1, true));
}

void XMLFreeString(char* text) {
    airvane::xml::ReleaseTreeBlock(text);
}

stXMLNode* XMLFindChild(stXMLNode* node, const char* name) {
    if (node == nullptr || name == nullptr) {
        return nullptr;
    }
    for (stXMLNode* child = node->firstChild; child != nullptr; child = child->nextSibling) {
        if (SameName(child->name, name)) {
            return child;
        }
    }
    return nullptr;
}

stXMLNode* XMLFindNextSibling(stXMLNode* node, const char* name) {
    if (node == nullptr || name == nullptr) {
        return nullptr;
    }
    for (stXMLNode* sibling = node->nextSibling; sibling != nullptr; sibling = sibling->nextSibling) {
        if (SameName(sibling->name, name)) {
            return sibling;
        }
    }
    return nullptr;
}

char* XMLGetAttribute(stXMLNode* node, const char* name) {
    if (node == nullptr || name == nullptr) {
        return nullptr;
    }
    for (stXMLAttribute* attribute = node->attributes; attribute != nullptr; attribute = attribute->next) {
        if (SameName(attribute->name, name)) {
            return airvane::xml::DuplicateString(attribute->value);
        }
    }
    return nullptr;
}

void XMLSetAttribute(stXMLNode* node, const char* name, const char* value) {
    if (node == nullptr || name == nullptr) {
        return;
    }
    stXMLAttribute** link = &node->attributes;
    for (; *link != nullptr; link = &(*link)->next) {
        stXMLAttribute* attribute = *link;
        if (SameName(attribute->name, name)) {
            XMLFreeString(attribute->value);
            // A copy that cannot be made leaves the value null rather than stale.
            attribute->value = airvane::xml::DuplicateString(value);
            return;
        }
    }
    // A new attribute needs a value; a null one adds nothing.
    if (value == nullptr) {
        return;
    }
    stXMLAttribute* attribute = airvane::xml::NewTreeRecord<stXMLAttribute>();
    if (attribute == nullptr) {
        return;
    }
    attribute->name = airvane::xml::DuplicateString(name);
    attribute->value = airvane::xml::DuplicateString(value);
    if (attribute->name == nullptr || attribute->value == nullptr) {
        FreeAttributes(attribute);
        return;
    }
    *link = attribute;
}

void XMLSetName(stXMLNode* node, const char* name) {
    if (node == nullptr) {
        return;
    }
    XMLFreeString(node->name);
    node->name = airvane::xml::DuplicateString(name);
}

stXMLNode* XMLCreateNode(const char* name, stXMLNode* parent) {
    stXMLNode* node = airvane::xml::NewTreeRecord<stXMLNode>();
    if (node == nullptr) {
        return nullptr;
    }
    XMLSetName(node, name);
    if (name != nullptr && node->name == nullptr) {
        airvane::xml::ReleaseTreeBlock(node);
        return nullptr;
    }
    if (parent != nullptr) {
        node->parent = parent;
        node->nextSibling = parent->firstChild;
        parent->firstChild = node;
    }
    return node;
}

void XMLFreeTree(stXMLNode* node) {
    // Iterative, so that neither a long sibling chain nor a deep tree uses the stack: the
    // children of the node being freed are spliced in front of its following siblings.
    while (node != nullptr) {
        if (node->firstChild != nullptr) {
            stXMLNode* last = node->firstChild;
            while (last->nextSibling != nullptr) {
                last = last->nextSibling;
            }
            last->nextSibling = node->nextSibling;
            node->nextSibling = node->firstChild;
            node->firstChild = nullptr;
        }
        stXMLNode* next = node->nextSibling;
        airvane::xml::ReleaseTreeBlock(node->name);
        airvane::xml::ReleaseTreeBlock(node->value);
        FreeAttributes(node->attributes);
        airvane::xml::ReleaseTreeBlock(node);
        node = next;
    }
}
