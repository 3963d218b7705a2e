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

    stTagEntries Closings(std::string_view name);
    stTagEntries Openings(std::string_view name);

private:
    // Name -> occurrences: an open-addressing table of names (at most half full) giving each
    // name an id, and one array of occurrences ordered by name id, then by position.
    class CTable {
    public:
        explicit CTable(std::string_view text) : m_text(text) {}
        void Add(std::size_t keyOffset, std::size_t keyLength, stTagEntry entry);
        // Groups the occurrences by name; call once, after the last Add.
        void Finish();
        stTagEntries Find(std::string_view key) const;

    private:
        struct stSlot {
            std::uint32_t hash;
            std::uint32_t keyOffset;
            std::uint32_t keyLength;
            std::uint32_t id; // kEmptySlot when unused
        };
        static constexpr std::uint32_t kEmptySlot = 0xFFFFFFFFu;

        static std::uint32_t Hash(std::string_view key);
        // The slot holding `key`, or the empty slot where it would go.
        std::size_t Probe(std::string_view key, std::uint32_t hash) const;
        void Grow();

        std::string_view m_text;
        std::vector<stSlot> m_slots;
        std::uint32_t m_names = 0;
        std::vector<std::uint32_t> m_pendingIds;  // per occurrence, in text order
        std::vector<stTagEntry> m_pendingEntries; // per occurrence, in text order
        std::vector<std::uint32_t> m_starts;      // per name id: first index in m_entries
        std::vector<stTagEntry> m_entries;        // grouped by name id, increasing within a name
    };

    // Occurrences of a name that holds ">" (only a name read across a CDATA section can): they
    // are filed under the part before its first ">" and are filtered once per name.
    stTagEntries Filtered(std::map<std::string, std::vector<stTagEntry>>& cache, const CTable& table,
                          std::string_view name, std::size_t nameOffset, bool closing);

    std::string_view m_text;
    CTable m_closings;
    CTable m_openings;
    std::map<std::string, std::vector<stTagEntry>> m_filteredClosings;
    std::map<std::string, std::vector<stTagEntry>> m_filteredOpenings;
};

} // namespace airvane::xml
