#include "airvane/xml/XMLReader.h"

#include "airvane/platform/File.h"
#include "airvane/xml/XMLTagIndex.h"
#include "airvane/xml/XMLText.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

// The reader works by substring search over 8-bit text, one level at a time: it finds tags by
// their "<" and ">", pairs an element with its closing tag by searching for the literal
// closing tag, and drops any tag that is neither an empty-element tag nor closed anywhere in
// the level's text. Searches are byte-based, as the platform's multibyte helpers are.
//
// Each level is read over a view of its text (a pointer and a length): an element's content
// is handed to the next level as a view of the parent's text, never copied. The questions
// "does this closing tag occur anywhere in the level's text" and "where is the next opening
// or closing tag of this name after a position" are answered from an index of the whole text,
// built once in one pass and shared by all levels (each level keeps to the occurrences that
// lie inside its own text). The index knows each opening tag's place among the occurrences
// of its name, so a level's searches start next to the tag it is reading. A document of n
// bytes nested d levels deep is thus read in O(n * d) time, also when every element has its
// own name.
//
// Behaviour beyond the documented limits, chosen so that no input can crash the reader, make
// it read out of bounds, loop or leak:
//  - A tag whose first word (with the "/" of an empty-element tag) is longer than 124 bytes is
//    not an element: it is passed over like a tag that is never closed, and the level goes on
//    after its first ">".
//  - A "<" with no ">" after it, or with nothing but white space or ">" right after it, ends
//    the level: the rest of the text, from the position, is the element's text.
//  - A CDATA section without "]]>" ends the level; as element text it runs to the end.
//  - When the nested opening tags of an element's name outnumber its closing tags, the
//    element's content is empty (as when there is no closing tag at all after an opening one).
//  - Elements are read at most 256 levels deep; an element at the deepest level keeps no
//    children and no text, so a hostile document cannot exhaust the stack.
//  - When memory runs out the level stops where it is: the nodes built so far stay in the
//    returned chain (a node may lack some attributes) and the parent's text is not set.
//  - A text is read up to its first zero byte, and never beyond `length` bytes.

namespace {

using airvane::xml::CForwardFinder;
using airvane::xml::CTagIndex;
using airvane::xml::kMaxXMLNameLength;
using airvane::xml::stTagEntries;
using airvane::xml::stTagEntry;
using airvane::xml::stTagName;

// Levels of elements read; an element on the last level keeps no children and no text.
constexpr int kMaxLevels = 256;
constexpr std::string_view kCDataStart = "<![CDATA[";
constexpr std::string_view kCDataEnd = "]]>";
// Element text loses these characters at both ends; spaces and "\r" remain.
constexpr char kValueTrimSet[] = "\n\t";

bool IsNameStop(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}

bool IsAttributeSpace(char c) {
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

// The index of the whole text given to XMLParseText, made when first needed.
class CDocumentIndex {
public:
    explicit CDocumentIndex(std::string_view whole) noexcept : m_whole(whole) {}

    std::string_view Whole() const { return m_whole; }
    CTagIndex& Get() {
        if (!m_index) {
            m_index = std::make_unique<CTagIndex>(m_whole);
        }
        return *m_index;
    }

private:
    std::string_view m_whole;
    std::unique_ptr<CTagIndex> m_index;
};

stXMLNode* ParseLevel(std::string_view text, std::size_t base, stXMLNode* parent, int depth,
                      CDocumentIndex& index, std::size_t occurrenceHint) noexcept;

// The tag at a "<", as far as the level needs it.
struct stTag {
    std::size_t open = 0;     // position of its "<"
    std::size_t nameEnd = 0;  // the name is text[open + 1, nameEnd)
    bool appendSlash = false; // an empty-element tag whose name holds no "/"
    bool tooLong = false;     // the name is longer than kMaxXMLNameLength
};

// Raw ranges of one attribute in the level's text.
struct stAttributeRange {
    std::size_t nameBegin;
    std::size_t nameEnd;
    std::size_t valueBegin;
    std::size_t valueEnd;
};

// Element content: text[begin, begin + length).
struct stContent {
    std::size_t begin = 0;
    std::size_t length = 0;
};

// Reads one level: the chain of elements found in a text, and the parent's text.
class CLevelReader {
public:
    // `text` is the level's text, starting `base` bytes into the whole text of `index`;
    // `occurrenceHint` is where the index's lookups of the level's tags may start.
    CLevelReader(std::string_view text, std::size_t base, stXMLNode* parent, int depth, CDocumentIndex& index,
                 std::size_t occurrenceHint)
        : m_text(text), m_base(base), m_end(base + text.size()), m_parent(parent), m_depth(depth),
          m_document(index), m_occurrenceHint(occurrenceHint), m_nextOpen(text, "<"),
          m_advanceGreater(text, ">"), m_tagGreater(text, ">"), m_contentGreater(text, ">"),
          m_cdataEnd(text, kCDataEnd), m_openAfterCData(text, "<"), m_nameInText(text, {}) {}

    stXMLNode* Run() noexcept;

private:
    bool NextTag(std::size_t position, stTag& tag);
    bool ReadTag(std::size_t open, stTag& tag);
    std::size_t AfterGreater(std::size_t position);
    // The index's occurrences of the current tag's name, looked up once per tag.
    const stTagName& TagOccurrences(std::string_view name);
    bool ClosingExists(std::string_view name);
    // The first closing tag of `name` at or after `from` (level position) inside the level's
    // text, or null; the search starts at `hint` when that is a valid start.
    const stTagEntry* NextClosing(const stTagEntries& closings, std::string_view name, std::size_t from,
                                  const stTagEntry* hint) const;
    stContent ElementContent(const stTag& tag, std::string_view name);
    stXMLNode* AppendNode(std::string_view name);
    void ReadAttributes(stXMLNode* node, std::size_t position, std::string_view name);
    void SetParentValue(std::size_t position);

    std::string_view m_text;
    std::size_t m_base; // where the level's text starts in the whole text (index positions)
    std::size_t m_end;  // where it ends
    stXMLNode* m_parent;
    int m_depth;
    CDocumentIndex& m_document;
    std::size_t m_occurrenceHint; // passed to the index with each tag, in text order

    stXMLNode* m_first = nullptr;
    stXMLNode** m_tail = &m_first;

    CForwardFinder m_nextOpen;       // first "<" at or after the position
    CForwardFinder m_advanceGreater; // first ">" at or after the position
    CForwardFinder m_tagGreater;     // the ">" that ends a tag
    CForwardFinder m_contentGreater; // the ">" after "<" name where content starts
    CForwardFinder m_cdataEnd;       // "]]>" after a CDATA start
    CForwardFinder m_openAfterCData; // the tag after a CDATA section

    // The tag at the last "<" looked at, and what was learnt about it. The position may move
    // by one ">" at a time while the same tag stays next, so nothing is worked out twice.
    bool m_haveTag = false;
    bool m_tagHasName = false;
    stTag m_tag;
    int m_closingKnown = -1; // -1 unknown, else whether the closing tag occurs
    bool m_haveOccurrences = false;
    stTagName m_occurrences;
    CForwardFinder m_nameInText;
    bool m_haveAttributes = false;
    std::size_t m_attributesStart = 0;
    std::vector<stAttributeRange> m_attributes;
};

std::size_t CLevelReader::AfterGreater(std::size_t position) {
    const std::size_t greater = m_advanceGreater.Find(position);
    return greater < m_text.size() ? greater + 1 : m_text.size();
}

bool CLevelReader::ReadTag(std::size_t open, stTag& tag) {
    const std::size_t size = m_text.size();
    tag = stTag{};
    tag.open = open;
    std::size_t end;
    const bool cdata = m_text.compare(open, kCDataStart.size(), kCDataStart) == 0;
    if (cdata) {
        // A CDATA section followed by no tag is element text: no name. Otherwise the name is
        // read from "![CDATA[" on up to white space or the ">" of the tag that follows; such a
        // name has no closing tag, so the section is passed over.
        const std::size_t sectionEnd = m_cdataEnd.Find(open + kCDataStart.size());
        if (sectionEnd >= size) {
            return false;
        }
        const std::size_t following = m_openAfterCData.Find(sectionEnd + kCDataEnd.size());
        if (following >= size) {
            return false;
        }
        end = m_tagGreater.Find(following + 1);
    } else {
        end = m_tagGreater.Find(open + 1);
    }
    if (end >= size) {
        return false; // "<" without ">"
    }
    // The name: after "<" up to white space or the end of the tag, looked at no further than
    // one byte past the longest name.
    const std::size_t limit = std::min(end, open + 1 + kMaxXMLNameLength + 1);
    std::size_t nameEnd = open + 1;
    while (nameEnd < limit && !IsNameStop(m_text[nameEnd])) {
        ++nameEnd;
    }
    if (nameEnd == open + 1) {
        return false;
    }
    tag.nameEnd = nameEnd;
    const std::size_t nameLength = nameEnd - (open + 1);
    if (nameLength > kMaxXMLNameLength) {
        tag.tooLong = true;
        return true;
    }
    // The tag runs from "<" to the first ">" after it; "/>" there makes it an empty-element tag.
    const std::size_t firstGreater = cdata ? m_text.find('>', open + 1) : end;
    const bool emptyElement = m_text[firstGreater - 1] == '/';
    const std::string_view name = m_text.substr(open + 1, nameLength);
    tag.appendSlash = emptyElement && name.find('/') == std::string_view::npos;
    tag.tooLong = nameLength + (tag.appendSlash ? 1 : 0) > kMaxXMLNameLength;
    return true;
}

bool CLevelReader::NextTag(std::size_t position, stTag& tag) {
    const std::size_t open = m_nextOpen.Find(position);
    if (open >= m_text.size()) {
        return false;
    }
    if (!m_haveTag || m_tag.open != open) {
        m_haveTag = true;
        m_tagHasName = ReadTag(open, m_tag);
        m_closingKnown = -1;
        m_haveOccurrences = false;
        m_haveAttributes = false;
        m_nameInText.Reset({});
        if (m_tagHasName && !m_tag.tooLong) {
            std::string_view name = m_text.substr(open + 1, m_tag.nameEnd - open - 1);
            if (!m_tag.appendSlash && name.rfind('/') != std::string_view::npos) {
                name = name.substr(0, name.rfind('/'));
            }
            m_nameInText.Reset(name);
        }
    }
    tag = m_tag;
    return m_tagHasName;
}

const stTagEntry* CLevelReader::NextClosing(const stTagEntries& closings, std::string_view name,
                                            std::size_t from, const stTagEntry* hint) const {
    const stTagEntry* closing = closings.LowerBound(m_base + from, hint);
    if (closing == closings.end || closing->position + name.size() + 3 > m_end) {
        return nullptr;
    }
    return closing;
}

const stTagName& CLevelReader::TagOccurrences(std::string_view name) {
    if (!m_haveOccurrences) {
        m_occurrences = m_document.Get().FindAt(m_base + m_tag.open, name, m_occurrenceHint);
        m_haveOccurrences = true;
    }
    return m_occurrences;
}

bool CLevelReader::ClosingExists(std::string_view name) {
    if (m_closingKnown < 0) {
        // The level's first closing tag is the tag's next one unless one comes before the tag
        // inside the level; then the last of those tells, as the first one starts no later.
        const stTagName& occurrences = TagOccurrences(name);
        const stTagEntry* next = occurrences.nextClosing;
        const stTagEntry* before = next != nullptr && next != occurrences.closings.begin ? next - 1 : nullptr;
        if (before == nullptr || before->position < m_base) {
            m_closingKnown = NextClosing(occurrences.closings, name, 0, next) != nullptr ? 1 : 0;
        } else if (before->position + name.size() + 3 <= m_end) {
            m_closingKnown = 1;
        } else {
            m_closingKnown = NextClosing(occurrences.closings, name, 0, nullptr) != nullptr ? 1 : 0;
        }
    }
    return m_closingKnown == 1;
}

stContent CLevelReader::ElementContent(const stTag& tag, std::string_view name) {
    // The content starts after the first ">" that follows "<" name; the name's first
    // occurrence from the position is the tag itself, as no "<" comes before it.
    const std::size_t greater = m_contentGreater.Find(tag.open + 1 + name.size());
    stContent content;
    if (greater >= m_text.size()) {
        content.begin = m_text.size();
        return content;
    }
    content.begin = greater + 1;
    // A nested opening tag counts unless the first ">" after it (inside this level's text) is
    // preceded by "/": an empty-element tag.
    const std::string_view whole = m_document.Whole();
    const stTagName& occurrences = TagOccurrences(name);
    const stTagEntries openings = occurrences.openings;
    auto counted = [&](const stTagEntry* opening) {
        for (; opening != openings.end && opening->position + name.size() + 2 <= m_end; ++opening) {
            if (opening->greater >= m_end || whole[opening->greater - 1] != '/') {
                return opening;
            }
        }
        return openings.end;
    };
    // Pair the k-th counted nested opening tag with the k-th closing tag: the content ends at
    // the first closing tag that comes before its opening tag, or that has none.
    const stTagEntries closings = occurrences.closings;
    const stTagEntry* opening = counted(openings.LowerBound(m_base + content.begin, occurrences.self));
    const stTagEntry* closing = NextClosing(closings, name, content.begin, occurrences.nextClosing);
    while (closing != nullptr) {
        if (opening == openings.end || closing->position < opening->position) {
            content.length = closing->position - m_base - content.begin;
            return content;
        }
        opening = counted(opening + 1);
        ++closing;
        if (closing == closings.end || closing->position + name.size() + 3 > m_end) {
            closing = nullptr;
        }
    }
    return content; // more opening than closing tags: no content
}

stXMLNode* CLevelReader::AppendNode(std::string_view name) {
    stXMLNode* node = new (std::nothrow) stXMLNode{};
    if (node == nullptr) {
        return nullptr;
    }
    node->name = airvane::xml::CopyToStringBlock(name.data(), name.size());
    if (node->name == nullptr) {
        delete node;
        return nullptr;
    }
    node->parent = m_parent;
    *m_tail = node;
    m_tail = &node->nextSibling;
    return node;
}

void CLevelReader::ReadAttributes(stXMLNode* node, std::size_t position, std::string_view name) {
    // The list starts just after the first occurrence of the name from the position.
    const std::size_t size = m_text.size();
    const std::size_t found = m_nameInText.Find(position);
    if (found >= size && !name.empty()) {
        return;
    }
    const std::size_t start = found + name.size();
    if (!m_haveAttributes || m_attributesStart != start) {
        m_haveAttributes = false;
        m_attributes.clear();
        std::size_t i = start;
        while (true) {
            while (i < size && IsAttributeSpace(m_text[i])) {
                ++i;
            }
            if (i >= size || m_text[i] == '>') {
                break;
            }
            // The name is everything up to "=", white space included.
            const std::size_t nameBegin = i;
            while (i < size && m_text[i] != '=' && m_text[i] != '>') {
                ++i;
            }
            if (i >= size || m_text[i] == '>') {
                break;
            }
            const std::size_t nameEnd = i;
            // Only double quotes delimit values.
            while (i < size && m_text[i] != '"' && m_text[i] != '>') {
                ++i;
            }
            if (i >= size || m_text[i] == '>') {
                break;
            }
            const std::size_t valueBegin = ++i;
            // A quote directly after "/" does not end the value (a folder path ending in "/").
            bool endedAtQuote = false;
            while (i < size && m_text[i] != '>') {
                if (m_text[i] == '"' && m_text[i - 1] != '/') {
                    endedAtQuote = true;
                    break;
                }
                ++i;
            }
            m_attributes.push_back({nameBegin, nameEnd, valueBegin, i});
            if (!endedAtQuote) {
                break;
            }
            ++i;
        }
        m_attributesStart = start;
        m_haveAttributes = true;
    }

    stXMLAttribute** link = &node->attributes;
    for (const stAttributeRange& range : m_attributes) {
        stXMLAttribute* attribute = new (std::nothrow) stXMLAttribute{};
        if (attribute == nullptr) {
            return;
        }
        attribute->name =
            airvane::xml::CopyToStringBlock(m_text.data() + range.nameBegin, range.nameEnd - range.nameBegin);
        attribute->value = airvane::xml::DecodeToStringBlock(m_text.data() + range.valueBegin,
                                                             range.valueEnd - range.valueBegin, nullptr);
        if (attribute->name == nullptr || attribute->value == nullptr) {
            XMLFreeString(attribute->name);
            XMLFreeString(attribute->value);
            delete attribute;
            return;
        }
        *link = attribute;
        link = &attribute->next;
    }
}

void CLevelReader::SetParentValue(std::size_t position) {
    // The text after the last tag read; a CDATA section in it gives the text inside.
    std::string_view rest = m_text.substr(position);
    const std::size_t cdata = rest.find(kCDataStart);
    if (cdata != std::string_view::npos) {
        rest = rest.substr(cdata + kCDataStart.size());
        rest = rest.substr(0, rest.find(kCDataEnd));
    }
    XMLFreeString(m_parent->value);
    m_parent->value = airvane::xml::DecodeToStringBlock(rest.data(), rest.size(), kValueTrimSet);
}

stXMLNode* CLevelReader::Run() noexcept {
    std::size_t position = 0;
    bool positionValid = true;
    try {
        stTag tag;
        while (NextTag(position, tag)) {
            if (tag.tooLong) {
                position = AfterGreater(position);
                continue;
            }
            const std::string_view name = m_text.substr(tag.open + 1, tag.nameEnd - tag.open - 1);
            const std::size_t slash = name.rfind('/');
            if (tag.appendSlash || slash != std::string_view::npos) {
                // Empty-element tag: the node is named up to its last "/".
                const std::string_view cut = tag.appendSlash ? name : name.substr(0, slash);
                stXMLNode* node = AppendNode(cut);
                if (node == nullptr) {
                    positionValid = false;
                    break;
                }
                ReadAttributes(node, position, cut);
                position = AfterGreater(position);
                continue;
            }
            if (!ClosingExists(name)) {
                // Never closed in this text: a prolog, a declaration, a comment or a stray tag.
                position = AfterGreater(position);
                continue;
            }
            const stContent content = ElementContent(tag, name);
            stXMLNode* node = AppendNode(name);
            if (node == nullptr) {
                positionValid = false;
                break;
            }
            ReadAttributes(node, position, name);
            if (content.length != 0 && m_depth + 1 < kMaxLevels) {
                node->firstChild =
                    ParseLevel(m_text.substr(content.begin, content.length), m_base + content.begin, node,
                               m_depth + 1, m_document, m_occurrenceHint);
            }
            // Past the content, then past the next closing tag; none ends the level.
            const std::size_t from = std::min(AfterGreater(position) + content.length, m_text.size());
            const stTagName& occurrences = TagOccurrences(name);
            const stTagEntry* closing =
                NextClosing(occurrences.closings, name, from, occurrences.nextClosing);
            if (closing == nullptr) {
                positionValid = false;
                break;
            }
            position = closing->position - m_base + name.size() + 3;
        }
    } catch (...) {
        // Out of memory for the level's working data: keep what was built.
        positionValid = false;
    }
    if (positionValid && m_parent != nullptr) {
        SetParentValue(position);
    }
    return m_first;
}

stXMLNode* ParseLevel(std::string_view text, std::size_t base, stXMLNode* parent, int depth,
                      CDocumentIndex& index, std::size_t occurrenceHint) noexcept {
    std::unique_ptr<CLevelReader> reader(new (std::nothrow)
                                             CLevelReader(text, base, parent, depth, index, occurrenceHint));
    if (!reader) {
        return nullptr;
    }
    return reader->Run();
}

} // namespace

stXMLNode* XMLParseText(const char* text, std::uint32_t length, stXMLNode* parent) {
    if (text == nullptr) {
        return nullptr;
    }
    CDocumentIndex index(std::string_view(text, strnlen(text, length)));
    return ParseLevel(index.Whole(), 0, parent, 0, index, 0);
}

stXMLNode* XMLLoadFile(const char* path) {
    namespace platform = airvane::platform;
    const platform::FileHandle file = platform::OpenFileForRead(path);
    if (file == platform::kInvalidFile) {
        return nullptr;
    }
    std::uint32_t size = 0;
    if (!platform::GetFileSize32(file, size)) {
        platform::CloseFile(file);
        return nullptr;
    }
    // Zero-filled, one byte longer than the file: a short read leaves zeros, which end the text.
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<std::size_t>(size) + 1]());
    if (!buffer) {
        platform::CloseFile(file);
        return nullptr;
    }
    platform::ReadFile(file, buffer.get(), size);
    platform::CloseFile(file);
    return XMLParseText(buffer.get(), size, nullptr);
}
