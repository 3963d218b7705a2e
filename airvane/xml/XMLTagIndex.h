#pragma once

// Internal search structures of the XML reader: they answer the reader's "first occurrence
// at or after a position" questions without rescanning the text for every tag. Not part of
// the exported interface.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace airvane::xml {

// The longest element name (the first word of a tag) the reader accepts.
constexpr std::size_t kMaxXMLNameLength = 124;

// Finds the first occurrence of a fixed needle at or after a position in a text. The last
// answer is remembered, so a run of non-decreasing queries scans each byte about once.
class CForwardFinder {
public:
    CForwardFinder(std::string_view text, std::string_view needle) : m_text(text), m_needle(needle) {}

    // Starts over with another needle.
    void Reset(std::string_view needle);
    // Position of the first occurrence at or after `from`; the text's size when there is none.
    std::size_t Find(std::size_t from);

private:
    std::string_view m_text;
    std::string_view m_needle;
    std::size_t m_from = std::string_view::npos; // start of the remembered search
    std::size_t m_found = 0;                     // its answer
};

// One tag occurrence: the position of its "<" and, for opening tags, of the first ">" after
// that "<" (the text's size when there is none).
struct stTagEntry {
    std::uint32_t position;
    std::uint32_t greater;
};

// Occurrences of one name, in increasing position.
struct stTagEntries {
    const stTagEntry* begin = nullptr;
    const stTagEntry* end = nullptr;

    // First occurrence at or after `from`, or `end`.
    const stTagEntry* LowerBound(std::size_t from) const;
    // The same, searched forward from `hint` when every occurrence before `hint` lies before
    // `from` (in time growing with the distance, not with the number of occurrences); any
    // other hint, null included, falls back to the plain search.
    const stTagEntry* LowerBound(std::size_t from, const stTagEntry* hint) const;
};

// The opening and closing tags of one name. When they were looked up for a given tag,
// `self` is that tag's own entry among the openings and `nextClosing` the first closing tag
// after its "<"; both are null otherwise.
struct stTagName {
    stTagEntries openings;
    stTagEntries closings;
    const stTagEntry* self = nullptr;
    const stTagEntry* nextClosing = nullptr;
};

// Positions of tags in a whole text, grouped by name, built in one pass:
//  - closing tags: occurrences of "</" name ">";
//  - opening tags: occurrences of "<" name " " or "<" name ">" (empty-element tags included:
//    whether one is depends on where the text a caller looks at ends).
// Only names up to kMaxXMLNameLength bytes are kept. A range of the text (a nested element's
// content) is served by the same index: an occurrence lies in the range when it starts and
// ends inside it, and then it is exactly an occurrence in the range taken on its own.
// Building may throw std::bad_alloc.
class CTagIndex {
public:
    explicit CTagIndex(std::string_view text);

    stTagName Find(std::string_view name);
    // The same for the name of the tag whose "<" is at `position`, `name` being the text right
    // after it, with `self` and `nextClosing` set when the index holds the tag under that
    // name. A reader going forward through the text passes the same `hint` each time (start
    // with 0, or with the hint its parent level had when it reached the parent's tag): the
    // tag is then found next to the previous one, not by hashing its name.
    stTagName FindAt(std::size_t position, std::string_view name, std::size_t& hint);

private:
    // Name -> dense id (ids in order of first occurrence): an open-addressing table, at most
    // half full, of 8-byte slots, so that a large document's table stays small enough for the
    // cache; a name's bytes are compared in the text, at the occurrence that introduced it.
    class CNames {
    public:
        static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

        explicit CNames(std::string_view text) : m_text(text) {}
        std::uint32_t Intern(std::size_t offset, std::size_t length);
        std::uint32_t Lookup(std::string_view name) const;
        std::uint32_t Count() const { return static_cast<std::uint32_t>(m_keys.size()); }
        std::size_t Length(std::uint32_t id) const { return m_keys[id].length; }

    private:
        struct stSlot {
            std::uint32_t hash;
            std::uint32_t id; // kNone when unused
        };
        struct stKey {
            std::uint32_t offset;
            std::uint32_t length;
        };

        static std::uint32_t Hash(std::string_view name);
        // The slot holding `name`, or the empty slot where it would go.
        std::size_t Probe(std::string_view name, std::uint32_t hash) const;
        void Grow();

        std::string_view m_text;
        std::vector<stSlot> m_slots;
        std::vector<stKey> m_keys; // per id
    };

    // Occurrences of one kind of tag, collected in text order with their name ids, then
    // grouped by id (increasing position within a name).
    class COccurrences {
    public:
        void Add(std::uint32_t id, stTagEntry entry) {
            m_pendingIds.push_back(id);
            m_pendingEntries.push_back(entry);
        }
        // Groups the occurrences by name; call once, after the last Add.
        void Finish(std::uint32_t names);
        stTagEntries Of(std::uint32_t id) const {
            return {m_entries.data() + m_starts[id], m_entries.data() + m_starts[id + 1]};
        }

    private:
        std::vector<std::uint32_t> m_pendingIds;  // per occurrence, in text order
        std::vector<stTagEntry> m_pendingEntries; // per occurrence, in text order
        std::vector<std::uint32_t> m_starts;      // per name id: first index in m_entries
        std::vector<stTagEntry> m_entries;        // grouped by name id
    };

    // An opening tag, the id of its name, and how many openings and closings of that name
    // come before it.
    struct stPlacedName {
        std::uint32_t position;
        std::uint32_t id;
        std::uint32_t openingsBefore;
        std::uint32_t closingsBefore;
    };

    struct stFilteredName {
        std::vector<stTagEntry> openings;
        std::vector<stTagEntry> closings;
    };

    stTagEntries Of(const COccurrences& occurrences, std::uint32_t id) const;
    // Occurrences of a name that holds ">" (only a name read across a CDATA section can): they
    // are filed under the part before its first ">" and are filtered once per name.
    stTagName Filtered(std::string_view name);
    void Filter(std::uint32_t id, std::string_view name, bool closing, std::vector<stTagEntry>& kept) const;

    std::string_view m_text;
    CNames m_names;
    COccurrences m_closings;
    COccurrences m_openings;
    std::vector<stPlacedName> m_openingNames; // in text order
    std::map<std::string, stFilteredName> m_filtered;
};

} // namespace airvane::xml
