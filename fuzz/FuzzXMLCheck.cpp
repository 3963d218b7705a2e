#include "FuzzXMLCheck.h"

#include "airvane/xml/XMLWriter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Guard bytes after the expected end of the written text: the writer must not touch them.
constexpr std::size_t kGuardBytes = 8;
constexpr unsigned char kGuard = 0xA5;

void CheckOne(const stXMLNode* node, int withSiblings) {
    const std::uint32_t measured = XMLSerialize(node, nullptr, withSiblings);
    const std::size_t bufferBytes = static_cast<std::size_t>(measured) + 1 + kGuardBytes;
    std::unique_ptr<char[]> buffer(new char[bufferBytes]);
    std::memset(buffer.get(), kGuard, bufferBytes);
    const std::uint32_t written = XMLSerialize(node, buffer.get(), withSiblings);
    if (written != measured) {
        std::fprintf(stderr, "XMLSerialize(withSiblings=%d): measured %u bytes, wrote %u\n", withSiblings,
                     measured, written);
        std::abort();
    }
    if (node == nullptr) {
        // Nothing to write: the count is 0 and the buffer is not touched.
        if (measured != 0) {
            std::fprintf(stderr, "XMLSerialize of a null node measured %u bytes\n", measured);
            std::abort();
        }
        return;
    }
    if (buffer[measured] != '\0') {
        std::fprintf(stderr, "XMLSerialize(withSiblings=%d): no zero at byte %u\n", withSiblings, measured);
        std::abort();
    }
    if (std::memchr(buffer.get(), '\0', measured) != nullptr) {
        // Names and values are zero-terminated texts, so the written text holds no zero byte.
        std::fprintf(stderr, "XMLSerialize(withSiblings=%d): zero byte inside the text\n", withSiblings);
        std::abort();
    }
    for (std::size_t i = measured + 1; i < bufferBytes; ++i) {
        if (static_cast<unsigned char>(buffer[i]) != kGuard) {
            std::fprintf(stderr, "XMLSerialize(withSiblings=%d): wrote past its terminating zero\n",
                         withSiblings);
            std::abort();
        }
    }
}

} // namespace

void CheckSerialization(const stXMLNode* node) {
    CheckOne(node, 0);
    // Without siblings both forms are the same text: one walk fewer on the largest trees.
    if (node != nullptr && node->nextSibling != nullptr) {
        CheckOne(node, 1);
    }
}

void CheckSerialization(const stXMLNode* node, int withSiblings) {
    CheckOne(node, withSiblings);
}
