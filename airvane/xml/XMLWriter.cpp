#include "airvane/xml/XMLWriter.h"
#include "airvane/platform/internal/Guard.h"

#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

// Text form of a node: "<" name, then " " name "=\"" value "\"" for each attribute, ">",
// a newline and the children when there are any, the value, "</" name ">" and a newline.
// No indentation, no empty-element form and no escaping: everything is written byte for byte
// as it is held. A null name or value is written as empty text, so an attribute whose value
// is null comes out as name="". An attribute without a name is written as its space only.

namespace {

constexpr std::string_view kOpen = "<";
constexpr std::string_view kCloseOpen = "</";
constexpr std::string_view kGreater = ">";
constexpr std::string_view kNewLine = "\n";
constexpr std::string_view kSpace = " ";
constexpr std::string_view kValueStart = "=\"";
constexpr std::string_view kValueEnd = "\"";

// Counts and, with a buffer, writes the pieces of the text.
class CTextSink {
public:
    static constexpr std::size_t kTooLong = std::numeric_limits<std::size_t>::max();

    explicit CTextSink(char* buffer) : m_buffer(buffer) {}

    void Put(std::string_view piece) {
        // A count that would pass the largest size stays at it: in a 32-bit process a tree
        // whose strings are written more than once can measure past 4 GiB, and a count wrapped
        // round to a small number would be taken for the size of the buffer to fill.
        if (piece.size() > kTooLong - m_count) {
            m_count = kTooLong;
            return;
        }
        if (m_buffer != nullptr && !piece.empty()) {
            std::memcpy(m_buffer + m_count, piece.data(), piece.size());
        }
        m_count += piece.size();
    }
    void Put(const char* text) {
        if (text != nullptr) {
            Put(std::string_view(text));
        }
    }
    std::size_t Count() const { return m_count; }

private:
    char* m_buffer;
    std::size_t m_count = 0;
};

void PutStart(CTextSink& sink, const stXMLNode* node) {
    sink.Put(kOpen);
    sink.Put(node->name);
    for (const stXMLAttribute* attribute = node->attributes; attribute != nullptr;
         attribute = attribute->next) {
        sink.Put(kSpace);
        if (attribute->name != nullptr) {
            sink.Put(attribute->name);
            sink.Put(kValueStart);
            sink.Put(attribute->value);
            sink.Put(kValueEnd);
        }
    }
    sink.Put(kGreater);
}

void PutEnd(CTextSink& sink, const stXMLNode* node) {
    sink.Put(node->value);
    sink.Put(kCloseOpen);
    sink.Put(node->name);
    sink.Put(kGreater);
    sink.Put(kNewLine);
}

// Walks the tree without recursion (a tree built by hand may be very deep): the stack holds
// the ancestors whose children are being written, with whether their siblings follow.
std::size_t Write(const stXMLNode* node, char* buffer, bool withSiblings) {
    struct stFrame {
        const stXMLNode* node;
        bool withSiblings;
    };
    std::vector<stFrame> ancestors;
    CTextSink sink(buffer);
    while (true) {
        PutStart(sink, node);
        if (node->firstChild != nullptr) {
            sink.Put(kNewLine);
            ancestors.push_back({node, withSiblings});
            node = node->firstChild;
            withSiblings = true;
            continue;
        }
        PutEnd(sink, node);
        while (!withSiblings || node->nextSibling == nullptr) {
            if (ancestors.empty()) {
                return sink.Count();
            }
            node = ancestors.back().node;
            withSiblings = ancestors.back().withSiblings;
            ancestors.pop_back();
            PutEnd(sink, node);
        }
        node = node->nextSibling;
    }
}

} // namespace

std::uint32_t XMLSerialize(const stXMLNode* node, char* buffer, int withSiblings) {
    if (node == nullptr) {
        return 0;
    }
    // Measure first, also when writing: a text whose count does not fit the result is neither
    // counted nor written, so a count is always the exact size of what is written. Without
    // memory for the walk nothing is written either.
    const std::size_t count =
        airvane::Guard(CTextSink::kTooLong, [&] { return Write(node, nullptr, withSiblings != 0); });
    const auto writeAll = [&] {
        Write(node, buffer, withSiblings != 0);
        return true;
    };
    const bool written = count < std::numeric_limits<std::uint32_t>::max() &&
                         (buffer == nullptr || airvane::Guard(false, writeAll));
    if (buffer != nullptr) {
        buffer[written ? count : 0] = '\0';
    }
    return written ? static_cast<std::uint32_t>(count) : 0;
}
