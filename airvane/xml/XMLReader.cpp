#include "airvane/xml/XMLReader.h"
#include "airvane/platform/internal/Guard.h"

#include "airvane/platform/File.h"
#include "airvane/xml/internal/XMLMemory.h"
#include "airvane/xml/internal/XMLTagIndex.h"
#include "airvane/xml/internal/XMLText.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

// Each level is read over a range of the whole text (its element's content), never copied, and
// every search the levels make is answered from one index of the whole text (XMLTagIndex.h).
// The levels waiting for a nested one to finish are kept on a stack in heap memory, so the depth
// of a document never reaches the machine stack. All positions below are offsets in the whole
// text.

namespace {

using airvane::xml::CTagIndex;
using airvane::xml::CTreeBudget;
using airvane::xml::kMaxXMLNameLength;
using airvane::xml::kNoIndex;
using airvane::xml::stTagEntries;
using airvane::xml::stTagEntry;
using airvane::xml::stTagName;
using airvane::xml::stTagStart;

constexpr std::string_view kCDataStart = "<![CDATA[";
constexpr std::string_view kCDataEnd = "]]>";
constexpr std::size_t kNone = static_cast<std::size_t>(-1);
// Levels finishing one after another (a deep document's, from the innermost out) fetch the
// record of the parent this many levels below the top ahead of its text.
constexpr std::size_t kParentsAhead = 12;
// PlainElement's answer for a tag it leaves to the general reading.
constexpr int kNotPlain = -1;

// The host's tree budget. Its two numbers are set and read together under a lock held only
// for that copy, so a parse never pairs one setting's factor with another's extra.
struct stBudgetSetting {
    std::uint32_t perTextByte;
    std::uint64_t extraBytes;
};
std::atomic_flag g_budgetLock = ATOMIC_FLAG_INIT;
stBudgetSetting g_budgetSetting{64, std::uint64_t{64} << 20};

class CBudgetLock {
public:
    // The lock is held for two words' copy: waiting for it is spinning, briefly.
    CBudgetLock() {
        while (g_budgetLock.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~CBudgetLock() { g_budgetLock.clear(std::memory_order_release); }
    CBudgetLock(const CBudgetLock&) = delete;
    CBudgetLock& operator=(const CBudgetLock&) = delete;
};

bool IsNameStop(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}

bool IsAttributeSpace(char c) {
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

// One level being read: the chain of elements found in text[begin, end).
struct stLevel {
    std::uint32_t begin;
    std::uint32_t end;
    std::uint32_t position; // where the next tag is looked for
    bool positionValid;     // false once the level ended without a position (no parent text)
    stXMLNode* parent;
    stXMLNode** tail; // where the next element of the chain is linked
};

// The levels waiting for nested ones, in blocks that are kept once made: a deep document's stack
// grows without ever being copied to a larger array. The first block is small, for the few
// levels of most documents; the others are 2 MiB of working memory each, which is mapped in
// huge pages and kept for the next parse.
class CLevelStack {
public:
    bool empty() const { return m_size == 0; }
    std::size_t size() const { return m_size; }
    stLevel& back() { return *m_top; }
    // A new level on top, its fields left for the caller to write; throws std::bad_alloc.
    stLevel& Push() {
        if (m_size == m_capacity) {
            const std::size_t levels = m_blocks.empty() ? kFirstBlockLevels : kBlockLevels;
            airvane::platform::WorkVector<stLevel> fresh(levels);
            m_blocks.push_back(std::move(fresh));
            m_capacity += levels;
        }
        if (m_size != 0 && ++m_slot == m_blocks[m_block].size()) {
            ++m_block;
            m_slot = 0;
        }
        ++m_size;
        m_top = &m_blocks[m_block][m_slot];
        return *m_top;
    }
    // Fetches into the cache the record of the parent of the level `depth` below the top, which
    // gets its text when that level finishes: in a deep document it was written long before.
    void PrefetchParent(std::size_t depth) const {
        if (m_slot >= depth) {
            __builtin_prefetch(m_top[-static_cast<std::ptrdiff_t>(depth)].parent, 1);
        }
    }
    void Pop() {
        --m_size;
        if (m_size != 0 && m_slot-- == 0) {
            --m_block;
            m_slot = m_blocks[m_block].size() - 1;
        }
        m_top = &m_blocks[m_block][m_slot];
    }

private:
    static constexpr std::size_t kFirstBlockLevels = 256;
    static constexpr std::size_t kBlockLevels = (std::size_t{2} << 20) / sizeof(stLevel);
    std::vector<airvane::platform::WorkVector<stLevel>> m_blocks;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    std::size_t m_block = 0; // where the top level is
    std::size_t m_slot = 0;
    stLevel* m_top = nullptr;
};

// Raw ranges of one attribute in the text.
struct stAttributeRange {
    std::uint32_t nameBegin;
    std::uint32_t nameEnd;
    std::uint32_t valueBegin;
    std::uint32_t valueEnd;
};

// Element content: text[begin, begin + length), and the closing tag that ends it (kNone when
// the content is empty for want of one).
struct stContent {
    std::size_t begin = 0;
    std::size_t length = 0;
    std::size_t closing = kNone;
};

// What the reader has learnt about the tag at a level's next "<". The position may move by one
// ">" at a time while the same tag stays next (each ">" before an empty-element tag reads it
// again), so nothing is worked out twice; Reset starts on another tag.
struct stTagState {
    std::size_t open = kNone;          // position of its "<"
    const stTagStart* start = nullptr; // the index's entry for that "<"
    std::size_t levelEnd = 0;          // end of the level it was read in
    bool hasName = false;
    bool cdata = false;        // the name was read across a CDATA section (only then can it hold ">")
    std::size_t nameEnd = 0;   // the name is text[open + 1, nameEnd)
    std::size_t slash = 0;     // offset of the name's last "/" (npos when none)
    bool appendSlash = false;  // an empty-element tag whose name holds no "/"
    bool tooLong = false;      // the name is longer than kMaxXMLNameLength
    int closingExists = -1;    // -1 unknown
    bool contentKnown = false; // the element's content, found with the closing's existence
    stContent content;
    bool haveOccurrences = false;
    stTagName occurrences;
    std::size_t nameFrom = kNone; // last search for the name in the text, and its answer
    std::size_t nameFound = 0;
    bool haveAttributes = false;
    std::size_t attributesStart = 0;
    airvane::platform::WorkVector<stAttributeRange> attributes; // capacity reused from tag to tag
    // The attributes of the node last built from the tag with these ranges: a tag read again
    // gives its attributes copies of their values instead of decoding its text again, unless
    // no value holds an entity (plainValues 1; -1 until asked). Plain values are copied from
    // the text, which is read in order, rather than from records scattered through memory.
    const stXMLAttribute* built = nullptr;
    int plainValues = -1;
    // What the last node built from the tag took from the budget, with its attributes read from
    // `footprintStart`; whether the ">" run before the tag has been weighed against the budget.
    std::uint64_t footprint = 0;
    std::size_t footprintStart = 0;
    bool runWeighed = false;

    void Reset(const stTagStart* tag, std::size_t end) {
        open = tag->position;
        start = tag;
        levelEnd = end;
        hasName = false;
        cdata = false;
        nameEnd = 0;
        appendSlash = false;
        tooLong = false;
        closingExists = -1;
        contentKnown = false;
        haveOccurrences = false;
        nameFrom = kNone;
        haveAttributes = false;
        attributes.clear();
        built = nullptr;
        plainValues = -1;
        footprint = 0;
        runWeighed = false;
    }
};

class CReader {
public:
    CReader(std::string_view text, std::uint64_t budget) : m_text(text), m_index(text), m_budget(budget) {}

    stXMLNode* Run(stXMLNode* parent) noexcept;

private:
    // One step of the level on top of the stack; false when the level is finished.
    bool Step();
    void FinishLevel() noexcept;
    // Reads the tag at the level's position when it is a bare name (no attributes) that the
    // index tells all about: an empty-element tag, an opening whose content ends at a closing
    // in the level, or an opening of a name never closed (passed over). 1 when read, 0 when
    // memory ran out; kNotPlain, having changed nothing, for any other tag.
    int PlainElement(stLevel& level, const stTagStart& tag);
    // Moves the level's position past the element just read and its closing tag.
    void PassElement(stLevel& level, std::string_view name, const stContent& content);
    // Reads the content of the element whose tag is `tag`, at once when it holds no tag, or else
    // as a nested level; false when memory ran out.
    bool ReadContent(stXMLNode* node, const stTagStart& tag, const stContent& content);

    std::size_t NextLess(std::size_t from, std::size_t end) const;
    std::size_t NextGreater(std::size_t from, std::size_t end) const;
    std::size_t AfterGreater(std::size_t from, std::size_t end) const;
    // Where the level goes on after the tag `tag`, the first ">" from the position included.
    std::size_t PastTag(const stLevel& level, const stTagStart& tag) const;
    bool ReadTag(std::size_t open, std::size_t end);
    const stTagName& Occurrences(std::string_view name);
    bool ClosingExists(stLevel& level, std::string_view name);
    // The content of the element whose tag was read with `name`, told by the tag's own entries
    // in the index when the closing that ends it lies in the level; false when the index's
    // groups of tags by name must tell.
    bool ContentFromTag(const stLevel& level, std::string_view name, stContent& content) const;
    std::size_t FirstClosing(const stTagEntries& closings, std::size_t nameLength, std::size_t from,
                             std::size_t end, const stTagEntry* hint) const;
    stContent ElementContent(stLevel& level, std::string_view name);
    stXMLNode* AppendNode(stLevel& level, std::string_view name);
    std::size_t FindName(std::size_t from, std::string_view name);
    void ScanAttributes(std::size_t start, std::size_t end);
    // Gives the node its attributes; false when memory ran out on the way.
    bool BuildAttributes(stXMLNode* node);
    // Whether the reads of an empty-element tag left before the level passes it can all fit in
    // the budget, once a node has been built from the tag; true when that is not known.
    bool RunFits(const stLevel& level, std::size_t attributesStart);
    // A new block holding the decoded value of the attribute at `range`, or a copy of `earlier`
    // (the same attribute's value in a node built before from the tag) when there is one; null
    // without memory.
    char* AttributeValue(const stAttributeRange& range, const stXMLAttribute* earlier);
    // Sets the text of the level's parent; `replace` releases a value it had first (only the
    // caller's parent can have one: the nodes this parse makes get their text once).
    // `mayHoldTag` is false when no "<" lies in the text left to the level. False, leaving the
    // parent as it was, when no memory is left for the text.
    bool SetParentValue(const stLevel& level, bool replace, bool mayHoldTag);

    std::string_view m_text;
    CTagIndex m_index;
    CTreeBudget m_budget;
    CLevelStack m_levels;
    stTagState m_tag;
    airvane::platform::WorkVector<char> m_decodeScratch;
    bool m_failed = false; // memory ran out, or the budget is or will be spent: the parse fails

    // Marks the parse failed; false, for the step to return.
    bool Fail() {
        m_failed = true;
        return false;
    }
};

std::size_t CReader::NextLess(std::size_t from, std::size_t end) const {
    const stTagStart* found = m_index.NextTag(from);
    return found != nullptr && found->position < end ? found->position : kNone;
}

std::size_t CReader::NextGreater(std::size_t from, std::size_t end) const {
    const std::uint32_t found = m_index.Greater().Next(from);
    return found != kNoIndex && found < end ? found : kNone;
}

std::size_t CReader::AfterGreater(std::size_t from, std::size_t end) const {
    const std::size_t greater = NextGreater(from, end);
    return greater != kNone ? greater + 1 : end;
}

std::size_t CReader::PastTag(const stLevel& level, const stTagStart& tag) const {
    // No "<" lies between the position and the tag's "<", so the first ">" from the position is
    // the tag's own first ">" unless a ">" comes before the tag.
    if (tag.previousGreater == kNoIndex || tag.previousGreater < level.position) {
        return tag.greater < level.end ? tag.greater + 1 : level.end;
    }
    return AfterGreater(level.position, level.end);
}

bool CReader::ReadTag(std::size_t open, std::size_t end) {
    std::size_t tagEnd;
    const bool cdata = end - open >= kCDataStart.size() && m_text[open + 1] == kCDataStart[1] &&
                       m_text.compare(open, kCDataStart.size(), kCDataStart) == 0;
    m_tag.cdata = cdata;
    if (cdata) {
        // A CDATA section followed by no tag is element text: no name. Otherwise the name is
        // read from "![CDATA[" on up to white space or the ">" of the tag that follows; such a
        // name has no closing tag, so the section is passed over.
        const std::uint32_t sectionEnd = m_index.CDataEnds().Next(open + kCDataStart.size());
        if (sectionEnd == kNoIndex || sectionEnd + kCDataEnd.size() > end) {
            return false;
        }
        const std::size_t following = NextLess(sectionEnd + kCDataEnd.size(), end);
        if (following == kNone) {
            return false;
        }
        tagEnd = NextGreater(following + 1, end);
    } else {
        tagEnd = m_tag.start->greater < end ? m_tag.start->greater : kNone;
    }
    if (tagEnd == kNone) {
        return false; // "<" without ">"
    }
    // The tag runs from "<" to the first ">" after it; "/>" there makes it an empty-element tag.
    const std::size_t firstGreater = m_tag.start->greater;
    const bool emptyElement = m_text[firstGreater - 1] == '/';
    // The name: after "<" up to white space or the end of the tag, looked at no further than
    // one byte past the longest name.
    const std::size_t limit = std::min(tagEnd, open + 1 + kMaxXMLNameLength + 1);
    std::size_t nameEnd = open + 1;
    while (nameEnd < limit && !IsNameStop(m_text[nameEnd])) {
        ++nameEnd;
    }
    if (nameEnd == open + 1 && !emptyElement) {
        return false;
    }
    m_tag.nameEnd = nameEnd;
    const std::size_t nameLength = nameEnd - (open + 1);
    if (nameLength > kMaxXMLNameLength) {
        m_tag.tooLong = true;
        return true;
    }
    const std::string_view name = m_text.substr(open + 1, nameLength);
    m_tag.slash = name.rfind('/');
    m_tag.appendSlash = emptyElement && m_tag.slash == std::string_view::npos;
    return true;
}

const stTagName& CReader::Occurrences(std::string_view name) {
    if (!m_tag.haveOccurrences) {
        m_index.FindAt(*m_tag.start, name, m_tag.occurrences);
        m_tag.haveOccurrences = true;
    }
    return m_tag.occurrences;
}

std::size_t CReader::FirstClosing(const stTagEntries& closings, std::size_t nameLength, std::size_t from,
                                  std::size_t end, const stTagEntry* hint) const {
    const stTagEntry* closing = closings.LowerBound(from, hint);
    if (closing == closings.end || closing->position + nameLength + 3 > end) {
        return kNone;
    }
    return closing->position;
}

bool CReader::ContentFromTag(const stLevel& level, std::string_view name, stContent& content) const {
    const stTagStart& tag = *m_tag.start;
    // The index files the tag as an opening of the name, which ends at or before the tag's
    // first ">" (a name read across a CDATA section is longer than the one the index files).
    if (!m_index.FiledAsOpening(tag, name) || tag.greater >= level.end) {
        return false;
    }
    const airvane::xml::stTagStart* closing = m_index.ContentEnd(tag, tag.greater + 1);
    if (closing == nullptr || closing->position + name.size() + 3 > level.end) {
        return false;
    }
    content.begin = tag.greater + 1;
    content.length = closing->position - content.begin;
    content.closing = closing->position;
    return true;
}

bool CReader::ClosingExists(stLevel& level, std::string_view name) {
    // Mostly the tag's own entries tell where its content ends, inside the level: then the name
    // is closed in the level.
    if (m_tag.closingExists < 0 && ContentFromTag(level, name, m_tag.content)) {
        m_tag.closingExists = 1;
        m_tag.contentKnown = true;
    }
    if (m_tag.closingExists < 0 && m_index.NeverClosed(*m_tag.start, name)) {
        m_tag.closingExists = 0;
    }
    if (m_tag.closingExists < 0 && m_tag.cdata && name.find('>') != std::string_view::npos &&
        !m_index.MayClose(name, level.begin, level.end)) {
        m_tag.closingExists = 0;
    }
    if (m_tag.closingExists < 0) {
        // The level's first closing tag is the tag's next one unless one comes before the tag
        // inside the level; then the last of those tells, as the first one starts no later.
        const stTagName& occurrences = Occurrences(name);
        const stTagEntry* next = occurrences.nextClosing;
        const stTagEntry* before = next != nullptr && next != occurrences.closings.begin ? next - 1 : nullptr;
        bool exists;
        if (before == nullptr || before->position < level.begin) {
            exists = FirstClosing(occurrences.closings, name.size(), level.begin, level.end, next) != kNone;
        } else {
            exists = before->position + name.size() + 3 <= level.end;
        }
        m_tag.closingExists = exists ? 1 : 0;
    }
    return m_tag.closingExists == 1;
}

stContent CReader::ElementContent(stLevel& level, std::string_view name) {
    if (m_tag.contentKnown) {
        return m_tag.content;
    }
    // The content starts after the first ">" that follows "<" name; the name's first
    // occurrence from the position is the tag itself, as no "<" comes before it.
    stContent content;
    // Up to the tag's first ">" (a name read across a CDATA section may hold ">").
    const std::size_t nameEnd = m_tag.open + 1 + name.size();
    const std::size_t greater = nameEnd <= m_tag.start->greater
                                    ? (m_tag.start->greater < level.end ? m_tag.start->greater : kNone)
                                    : NextGreater(nameEnd, level.end);
    if (greater == kNone) {
        content.begin = level.end;
        return content;
    }
    content.begin = greater + 1;
    // It ends at the closing tag where the closings seen from its start first outnumber the
    // counted openings; that closing must lie inside the level. Any closing or opening before
    // it lies inside the level too, so the index's pairing of the whole text tells.
    const stTagName& occurrences = Occurrences(name);
    const airvane::xml::stPairing& pairing = occurrences.pairing;
    const std::uint32_t start = pairing.LowerBound(content.begin, occurrences.selfEvent);
    if (start < pairing.count && pairing.HasEnd(start)) {
        const std::size_t closing = pairing.positions[pairing.ends[start]];
        if (closing + name.size() + 3 <= level.end) {
            content.length = closing - content.begin;
            content.closing = closing;
        }
    }
    return content;
}

// Inlined into each of its callers (the general step and a plain element's): a call there costs
// each element more than the code it would share.
[[gnu::always_inline]] inline stXMLNode* CReader::AppendNode(stLevel& level, std::string_view name) {
    if (!m_budget.Take(sizeof(stXMLNode))) {
        return nullptr;
    }
    stXMLNode* node = airvane::xml::NewTreeRecord<stXMLNode>();
    if (node == nullptr) {
        return nullptr;
    }
    node->name = airvane::xml::CopyToStringBlock(name.data(), name.size(), &m_budget);
    if (node->name == nullptr) {
        airvane::xml::ReleaseTreeBlock(node);
        return nullptr;
    }
    node->parent = level.parent;
    *level.tail = node;
    level.tail = &node->nextSibling;
    return node;
}

std::size_t CReader::FindName(std::size_t from, std::string_view name) {
    // No occurrence lies in [nameFrom, nameFound), so the last answer holds for any start in
    // between.
    if (m_tag.nameFrom == kNone || from < m_tag.nameFrom || from > m_tag.nameFound) {
        // The tag's own name is an occurrence, so an earlier one starts before it, and mostly
        // not even the name's first byte lies there.
        const std::size_t own = m_tag.open + 1;
        std::size_t found = name.empty() ? from : own;
        const auto firstByteBefore = [&] {
            return own - from == 1 ? m_text[from] == name[0] // mostly the tag's "<" alone
                                   : std::memchr(m_text.data() + from, name[0], own - from) != nullptr;
        };
        if (!name.empty() && firstByteBefore()) {
            found = m_text.substr(0, own + name.size()).find(name, from);
        }
        m_tag.nameFrom = from;
        m_tag.nameFound = found;
    }
    return m_tag.nameFound;
}

void CReader::ScanAttributes(std::size_t start, std::size_t end) {
    // The list ends at the first ">" from its start at the latest, so only "=" and double
    // quotes need looking for before that. Mostly the list starts inside the tag, and that ">"
    // is the tag's own.
    const stTagStart& tag = *m_tag.start;
    const bool inTag =
        (tag.previousGreater == kNoIndex || tag.previousGreater < start) && start <= tag.greater;
    const std::size_t greater = inTag ? tag.greater : NextGreater(start, end);
    const std::size_t stop = std::min(greater, end);
    const char* text = m_text.data();
    const auto find = [&](std::size_t from, char c) {
        const void* found = std::memchr(text + from, c, stop - from);
        return found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - text) : kNone;
    };
    m_tag.attributes.clear();
    m_tag.built = nullptr;
    m_tag.plainValues = -1;
    for (std::size_t i = start;;) {
        while (i < stop && IsAttributeSpace(text[i])) {
            ++i;
        }
        // The name is everything up to "=", white space included; only double quotes delimit
        // values, and mostly the quote follows the "=".
        const std::size_t equals = i < stop ? find(i, '=') : kNone;
        const bool quoteNext = equals != kNone && equals + 1 < stop && text[equals + 1] == '"';
        const std::size_t quote = quoteNext ? equals + 1 : equals != kNone ? find(equals, '"') : kNone;
        if (quote == kNone) {
            break;
        }
        // A quote directly after "/" does not end the value (a folder path ending in "/").
        std::size_t valueEnd = find(quote + 1, '"');
        while (valueEnd != kNone && text[valueEnd - 1] == '/') {
            valueEnd = find(valueEnd + 1, '"');
        }
        m_tag.attributes.push_back({static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(equals),
                                    static_cast<std::uint32_t>(quote + 1),
                                    static_cast<std::uint32_t>(valueEnd != kNone ? valueEnd : stop)});
        if (valueEnd == kNone) {
            break;
        }
        i = valueEnd + 1;
    }
    m_tag.attributesStart = start;
    m_tag.haveAttributes = true;
}

char* CReader::AttributeValue(const stAttributeRange& range, const stXMLAttribute* earlier) {
    if (earlier != nullptr) {
        return airvane::xml::CopyToStringBlock(earlier->value, std::strlen(earlier->value), &m_budget);
    }
    return airvane::xml::DecodeToStringBlock(m_text.data() + range.valueBegin,
                                             range.valueEnd - range.valueBegin, airvane::xml::eTrim::kNone,
                                             m_decodeScratch, m_budget);
}

bool CReader::BuildAttributes(stXMLNode* node) {
    stXMLAttribute** link = &node->attributes;
    const stXMLAttribute* earlier = m_tag.built;
    if (earlier != nullptr && m_tag.plainValues < 0) {
        const stAttributeRange& first = m_tag.attributes.front();
        const stAttributeRange& last = m_tag.attributes.back();
        m_tag.plainValues =
            std::memchr(m_text.data() + first.valueBegin, '&', last.valueEnd - first.valueBegin) == nullptr
                ? 1
                : 0;
    }
    if (m_tag.plainValues == 1) {
        earlier = nullptr;
    }
    for (const stAttributeRange& range : m_tag.attributes) {
        if (!m_budget.Take(sizeof(stXMLAttribute))) {
            return false;
        }
        stXMLAttribute* attribute = airvane::xml::NewTreeRecord<stXMLAttribute>();
        if (attribute == nullptr) {
            return false;
        }
        attribute->name = airvane::xml::CopyToStringBlock(m_text.data() + range.nameBegin,
                                                          range.nameEnd - range.nameBegin, &m_budget);
        attribute->value = attribute->name == nullptr ? nullptr : AttributeValue(range, earlier);
        if (attribute->value == nullptr) {
            XMLFreeString(attribute->name);
            airvane::xml::ReleaseTreeBlock(attribute);
            return false;
        }
        *link = attribute;
        link = &attribute->next;
        earlier = earlier != nullptr ? earlier->next : nullptr;
    }
    // This node's list serves the next reading of the tag.
    m_tag.built = node->attributes;
    return true;
}

bool CReader::RunFits(const stLevel& level, std::size_t attributesStart) {
    // Each ">" between the position and the tag makes the level read the tag once more. When
    // the tag's attributes are read from the tag itself (no earlier occurrence of its name lies
    // past the position), every one of those reads builds a node just like the last one, and
    // the budget either holds them all or is bound to run out: then the parse fails at once
    // instead of building them first. Asked once per tag: an answer of "they fit" holds for
    // the rest of the run.
    if (m_tag.runWeighed || attributesStart != m_tag.footprintStart || m_tag.nameFound != m_tag.open + 1) {
        return true;
    }
    m_tag.runWeighed = true;
    const airvane::platform::WorkVector<std::uint32_t>& greaters = m_index.Greater().All();
    const auto first = std::lower_bound(greaters.begin(), greaters.end(), level.position);
    const auto tag = std::lower_bound(first, greaters.end(), m_tag.open);
    const auto reads = static_cast<std::uint64_t>(tag - first) + 1;
    return reads <= m_budget.Left() / m_tag.footprint;
}

[[gnu::always_inline]] inline bool CReader::SetParentValue(const stLevel& level, bool replace,
                                                           bool mayHoldTag) {
    // The text after the last tag read; a CDATA section in it (which starts at a "<") gives the
    // text inside.
    std::string_view rest = m_text.substr(level.position, level.end - level.position);
    const std::size_t cdata = mayHoldTag ? rest.find(kCDataStart) : std::string_view::npos;
    if (cdata != std::string_view::npos) {
        rest = rest.substr(cdata + kCDataStart.size());
        rest = rest.substr(0, rest.find(kCDataEnd));
    }
    // Mostly, in a nested document, nothing follows the last tag: the text is empty.
    char* value = rest.empty() ? airvane::xml::CopyToStringBlock(rest.data(), 0, &m_budget)
                               : airvane::xml::DecodeToStringBlock(rest.data(), rest.size(),
                                                                   airvane::xml::eTrim::kElementText,
                                                                   m_decodeScratch, m_budget);
    if (value == nullptr) {
        return false;
    }
    // The text replaced is released after the new one is read: the caller's parent may hold
    // the very text being read. Not looking at the value otherwise spares a read of a record
    // mostly out of the cache by now (a deep element's text is set long after its record was
    // written).
    if (replace && level.parent->value != nullptr) {
        XMLFreeString(level.parent->value);
    }
    level.parent->value = value;
    return true;
}

bool CReader::Step() {
    // Bare-name tags are read one after the other here, each in the level on top (a nested one
    // once an element's content holds tags), until a tag needs the general reading.
    for (;;) {
        stLevel& level = m_levels.back();
        // A level whose last element's closing tag ends its text (every level of a nested
        // document) has nothing left to read.
        if (!level.positionValid || level.position >= level.end) {
            return false;
        }
        const stTagStart* tag = m_index.NextTag(level.position);
        if (tag == nullptr || tag->position >= level.end) {
            return false;
        }
        if (m_tag.open == tag->position && m_tag.levelEnd == level.end) {
            break;
        }
        const int plain = PlainElement(level, *tag);
        if (plain == kNotPlain) {
            m_tag.Reset(tag, level.end);
            m_tag.hasName = ReadTag(tag->position, level.end);
            break;
        }
        if (plain == 0) {
            return false;
        }
    }
    stLevel& level = m_levels.back();
    const std::size_t open = m_tag.open;
    if (!m_tag.hasName) {
        return false;
    }
    if (m_tag.tooLong) {
        level.position = static_cast<std::uint32_t>(PastTag(level, *m_tag.start));
        return true;
    }
    const std::string_view name = m_text.substr(open + 1, m_tag.nameEnd - open - 1);
    const std::size_t slash = m_tag.slash;
    const bool emptyElement = m_tag.appendSlash || slash != std::string_view::npos;
    if (!emptyElement && !ClosingExists(level, name)) {
        // Never closed in this text: a prolog, a declaration, a comment or a stray tag.
        level.position = static_cast<std::uint32_t>(PastTag(level, *m_tag.start));
        return true;
    }
    // An empty-element tag's node is named up to its last "/".
    const std::string_view nodeName = m_tag.appendSlash || !emptyElement ? name : name.substr(0, slash);
    const stContent content = emptyElement ? stContent{} : ElementContent(level, name);
    // The attribute list starts just after the first occurrence of the name from the position.
    const std::size_t start = FindName(level.position, nodeName) + nodeName.size();
    if (emptyElement && m_tag.footprint != 0 && !RunFits(level, start)) {
        return Fail();
    }
    const std::uint64_t left = m_budget.Left();
    stXMLNode* node = AppendNode(level, nodeName);
    if (node == nullptr) {
        return Fail();
    }
    // Mostly a ">" or "/>" follows the name at once: the list is empty (no "=" comes before the
    // ">"), and nothing needs scanning.
    const bool bareName =
        start < level.end && (m_text[start] == '>' ||
                              (m_text[start] == '/' && (start + 1 == level.end || m_text[start + 1] == '>')));
    if (!bareName) {
        if (!m_tag.haveAttributes || m_tag.attributesStart != start) {
            ScanAttributes(start, level.end);
        }
        if (!BuildAttributes(node)) {
            return Fail();
        }
    }
    if (emptyElement) {
        m_tag.footprint = left - m_budget.Left();
        m_tag.footprintStart = start;
        level.position = static_cast<std::uint32_t>(PastTag(level, *m_tag.start));
        return true;
    }
    PassElement(level, name, content);
    return content.length == 0 || ReadContent(node, *m_tag.start, content);
}

int CReader::PlainElement(stLevel& level, const stTagStart& tag) {
    // A bare name runs from the "<" to the tag's first ">" (or to the "/" before it) and holds no
    // byte that ends a name or makes the tag an empty-element tag, so the tag is read with just
    // that name. "<!" is left to the general reading (a CDATA section is read apart). The index
    // files an opening under the bytes up to its first " " or ">", unless they end in "/": a
    // bare name is filed under just that name, and a bare empty-element tag's not at all.
    const char* text = m_text.data();
    const std::size_t open = tag.position;
    const std::size_t greater = tag.greater;
    if (greater >= level.end || text[open + 1] == '/' || text[open + 1] == '!' ||
        greater - open - 1 > kMaxXMLNameLength) {
        return kNotPlain;
    }
    const bool emptyElement = text[greater - 1] == '/';
    const std::string_view name(text + open + 1, greater - open - 1 - (emptyElement ? 1 : 0));
    if (emptyElement ? tag.id != kNoIndex || name.empty()
                     : tag.id == kNoIndex || m_index.NameLength(tag.id) != name.size()) {
        return kNotPlain;
    }
    // With a ">" between the position and the tag the level goes on from that ">" (reading an
    // empty-element tag again, which the general reading keeps track of).
    if (tag.previousGreater != kNoIndex && tag.previousGreater >= level.position) {
        return kNotPlain;
    }
    for (const char c : name) {
        if (IsNameStop(c) || c == '/') {
            return kNotPlain;
        }
    }
    // The attribute list starts at the first occurrence of the name from the position, which
    // must be the tag's own for the list to be empty. Mostly only the tag's "<" lies between.
    const std::size_t own = open + 1;
    const std::size_t before = own - level.position;
    if (before == 1 ? text[level.position] == name[0]
                    : std::memchr(text + level.position, name[0], before) != nullptr) {
        return kNotPlain;
    }
    if (emptyElement) {
        m_tag.open = kNone;
        if (AppendNode(level, name) == nullptr) {
            m_failed = true;
            return 0;
        }
        level.position = static_cast<std::uint32_t>(greater + 1);
        return 1;
    }
    // The content ends at a closing inside the level (so the name is closed in the level), and
    // the level goes on past that closing.
    const airvane::xml::stTagStart* closing = m_index.ContentEnd(tag, greater + 1);
    if (closing == nullptr || closing->position + name.size() + 3 > level.end) {
        // A name the text never closes (a stray or unclosed tag) makes no element: the level
        // goes on past the tag.
        if (m_index.NeverClosed(tag)) {
            m_tag.open = kNone;
            level.position = static_cast<std::uint32_t>(greater + 1);
            return 1;
        }
        return kNotPlain;
    }
    // A tag read next in the general way starts afresh.
    m_tag.open = kNone;
    stContent content;
    content.begin = greater + 1;
    content.length = closing->position - content.begin;
    content.closing = closing->position;
    stXMLNode* node = AppendNode(level, name);
    if (node == nullptr) {
        m_failed = true;
        return 0;
    }
    level.position = static_cast<std::uint32_t>(closing->position + name.size() + 3);
    return content.length == 0 || ReadContent(node, tag, content) ? 1 : 0;
}

void CReader::PassElement(stLevel& level, std::string_view name, const stContent& content) {
    // Past the content, then past the next closing tag; none ends the level.
    const std::size_t from = std::min<std::size_t>(PastTag(level, *m_tag.start) + content.length, level.end);
    // Mostly that is the closing tag that ended the content (unless a ">" came before the tag).
    std::size_t closing = content.closing;
    if (closing != from) {
        const stTagName& occurrences = Occurrences(name);
        closing = FirstClosing(occurrences.closings, name.size(), from, level.end, occurrences.nextClosing);
    }
    if (closing == kNone) {
        level.positionValid = false;
    } else {
        level.position = static_cast<std::uint32_t>(closing + name.size() + 3);
    }
}

bool CReader::ReadContent(stXMLNode* node, const stTagStart& tag, const stContent& content) {
    const stLevel nested{static_cast<std::uint32_t>(content.begin),
                         static_cast<std::uint32_t>(content.begin + content.length),
                         static_cast<std::uint32_t>(content.begin),
                         true,
                         node,
                         &node->firstChild};
    // Content without "<" (the next "<" after the tag's is its closing tag) holds no tag: it
    // is all the element's text.
    if ((&tag)[1].position >= nested.end) {
        m_failed = !SetParentValue(nested, false, false);
        return !m_failed;
    }
    // The level is written in place field by field (as for the index's tags, a copy of a whole
    // record would be read back wider than it was written).
    m_failed = !airvane::Guard(false, [&] {
        stLevel& level = m_levels.Push();
        level.begin = nested.begin;
        level.end = nested.end;
        level.position = nested.position;
        level.positionValid = true;
        level.parent = node;
        level.tail = &node->firstChild;
        return true;
    });
    return !m_failed;
}

void CReader::FinishLevel() noexcept {
    const stLevel& level = m_levels.back();
    m_levels.PrefetchParent(kParentsAhead);
    if (level.positionValid && level.parent != nullptr &&
        !SetParentValue(level, m_levels.size() == 1,
                        level.position < level.end && NextLess(level.position, level.end) != kNone)) {
        m_failed = true;
    }
    m_levels.Pop();
}

// Kept out of XMLParseText: inlined there, the level loop is laid out less well (measured).
[[gnu::noinline]] stXMLNode* CReader::Run(stXMLNode* parent) noexcept {
    stXMLNode* first = nullptr;
    if (!airvane::Guard(false, [&] {
            m_levels.Push() = {0, static_cast<std::uint32_t>(m_text.size()), 0, true, parent, &first};
            return true;
        })) {
        return nullptr;
    }
    // Once memory runs out, for the tree or for the reader's working data, the parse fails as a
    // whole: a tree with part of its elements or of their attributes would read as a complete
    // document with other meanings (a device without the list of systems it is for applies to
    // every system).
    while (!m_levels.empty() && !m_failed) {
        enum { kDone, kMore, kNoMemory };
        const int step = airvane::Guard<int>(kNoMemory, [&] { return Step() ? kMore : kDone; });
        if (step == kNoMemory) {
            m_failed = true;
        } else if (step == kDone && !m_failed) {
            FinishLevel();
        }
    }
    if (m_failed) {
        XMLFreeTree(first);
        return nullptr;
    }
    return first;
}

} // namespace

stXMLNode* XMLParseText(const char* text, std::uint32_t length, stXMLNode* parent) {
    if (text == nullptr) {
        return nullptr;
    }
    const std::string_view whole(text, strnlen(text, length));
    // Both factors are below 2^32, so the product fits; a sum past the largest number is no
    // limit at all, never the small number it would wrap to.
    stBudgetSetting setting;
    {
        const CBudgetLock lock;
        setting = g_budgetSetting;
    }
    const std::uint64_t perText = std::uint64_t{setting.perTextByte} * whole.size();
    const std::uint64_t extra = setting.extraBytes;
    const std::uint64_t budget = extra > std::numeric_limits<std::uint64_t>::max() - perText
                                     ? std::numeric_limits<std::uint64_t>::max()
                                     : perText + extra;
    const std::unique_ptr<CReader> reader =
        airvane::Guard(std::unique_ptr<CReader>(), [&] { return std::make_unique<CReader>(whole, budget); });
    return reader != nullptr ? reader->Run(parent) : nullptr; // null: no memory for the index
}

void XMLSetMemoryBudget(std::uint32_t bytesPerTextByte, std::uint64_t extraBytes) {
    const CBudgetLock lock;
    g_budgetSetting = {bytesPerTextByte, extraBytes};
}

stXMLNode* XMLLoadFile(const char* path) {
    namespace platform = airvane::platform;
    const platform::FileHandle file = platform::OpenFileForRead(path);
    if (file == platform::kInvalidFile) {
        return nullptr;
    }
    std::uint32_t size = 0;
    // The buffer is one byte longer than the file: where that count does not fit a size (a file
    // of 4 GiB less a byte in a 32-bit process) there is no memory for it.
    if (!platform::GetFileSize32(file, size) ||
        static_cast<std::uint64_t>(size) >= std::numeric_limits<std::size_t>::max()) {
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
