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

// Blocks of a tree being freed, released a fixed number of blocks after they were queued. Each
// is prefetched when queued, so that releasing it (which reads the header in front of it) does
// not wait for memory: in a large tree most blocks are no longer in the cache.
class CReleaseQueue {
public:
    CReleaseQueue() = default;
    CReleaseQueue(const CReleaseQueue&) = delete;
    CReleaseQueue& operator=(const CReleaseQueue&) = delete;
    ~CReleaseQueue() {
        for (std::size_t i = 0; i < m_count; ++i) {
            airvane::xml::ReleaseTreeBlock(m_blocks[i]);
        }
    }

    // Queues a block whose fields have all been read; null is ignored.
    void Add(void* block) {
        if (block == nullptr) {
            return;
        }
        // The header sits just before the block, mostly in the same cache line.
        __builtin_prefetch(static_cast<char*>(block) - kHeaderReach, 1);
        if (m_count < kDistance) {
            m_blocks[m_count++] = block;
            return;
        }
        airvane::xml::ReleaseTreeBlock(m_blocks[m_oldest]);
        m_blocks[m_oldest] = block;
        m_oldest = (m_oldest + 1) % kDistance;
    }

private:
    static constexpr std::size_t kDistance = 32;
    static constexpr std::size_t kHeaderReach = 16;
    void* m_blocks[kDistance] = {};
    std::size_t m_count = 0;
    std::size_t m_oldest = 0;
};

// Queues a chain of attributes with their names and values.
void QueueAttributes(CReleaseQueue& released, stXMLAttribute* attribute) {
    while (attribute != nullptr) {
        stXMLAttribute* next = attribute->next;
        released.Add(attribute->name);
        released.Add(attribute->value);
        released.Add(attribute);
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
            // Copied before the value held is released: `value` may be that very text. A copy
            // that cannot be made leaves the value null rather than stale.
            char* copy = airvane::xml::DuplicateString(value);
            XMLFreeString(attribute->value);
            attribute->value = copy;
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
        CReleaseQueue released;
        QueueAttributes(released, attribute);
        return;
    }
    *link = attribute;
}

void XMLSetName(stXMLNode* node, const char* name) {
    if (node == nullptr) {
        return;
    }
    // Copied before the name held is released: `name` may be that very text.
    char* copy = airvane::xml::DuplicateString(name);
    XMLFreeString(node->name);
    node->name = copy;
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
    // Depth first without the machine stack, touching each node once: a node with both children
    // and following siblings is kept (its record linked through `parent`) until its children are
    // freed, then its siblings are taken up from it.
    CReleaseQueue released;
    stXMLNode* waiting = nullptr;
    for (;;) {
        if (node == nullptr) {
            if (waiting == nullptr) {
                return;
            }
            stXMLNode* resumed = waiting;
            waiting = resumed->parent;
            node = resumed->nextSibling;
            released.Add(resumed);
            continue;
        }
        stXMLNode* child = node->firstChild;
        stXMLNode* next = node->nextSibling;
        released.Add(node->name);
        released.Add(node->value);
        QueueAttributes(released, node->attributes);
        if (child != nullptr && next != nullptr) {
            node->parent = waiting;
            waiting = node;
        } else {
            released.Add(node);
        }
        node = child != nullptr ? child : next;
    }
}
