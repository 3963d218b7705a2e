#pragma once

// Internal search structures of the XML reader. Not part of the exported interface.
//
// Why an index: the reader answers, for every tag of every level, questions of the form
// "where is the first '<' (or '>', or ']]>') at or after this position in the level's text",
// "does '</' name '>' occur anywhere in the level's text" and "where does this element's
// content end, pairing nested openings of its name with closings". Searching the text for each
// of them costs time in the length of the text, once per tag and once per level, which is
// quadratic on hostile documents (deep nesting, many unclosed tags, long runs of same-name
// openings). The index is built once, in one pass over the whole text, and every level queries
// it by range: an occurrence lies in a level's text when it starts and ends inside it, and it
// is then exactly an occurrence in that text taken on its own. Every question above is thus
// answered in logarithmic time (or constant time next to the previous answer), whatever the
// depth or shape of the document.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace airvane::xml {

// The longest element name (the first word of a tag) the reader accepts.
constexpr std::size_t kMaxXMLNameLength = 124;
// "None" for positions and event indexes.
constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu;

// Sorted positions of one pattern in the whole text. Queries are answered next to the previous
// answer (galloping), so a reader going forward pays for the distance, not for the size.
class CPositions {
public:
    void Reserve(std::size_t count) { m_positions.reserve(count); }
    void Add(std::uint32_t position) { m_positions.push_back(position); }
    // First position at or after `from`, or kNoIndex.
    std::uint32_t Next(std::size_t from) const;

private:
    std::vector<std::uint32_t> m_positions;
    mutable std::size_t m_cursor = 0; // index of the previous answer
};

// One tag occurrence: the position of its "<" and of the first ">" after that "<" (the text's
// size when there is none).
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
    // `from`; any other hint, null included, falls back to the plain search.
    const stTagEntry* LowerBound(std::size_t from, const stTagEntry* hint) const;
};

// The openings and closings of one name merged in text order ("events"), with, for each event,
// the closing that ends an element's content starting there: pairing the k-th counted nested
// opening with the k-th closing, the content ends at the first closing that comes before its
// opening, that is at the first closing where the closings seen outnumber the counted openings
// seen. An opening is counted unless its first ">" is preceded by "/" (an empty-element tag).
struct stPairing {
    const std::uint32_t* positions = nullptr; // per event: position of its "<"
    const std::uint32_t* ends = nullptr;      // per event: index of the ending closing, or kNoIndex
    std::uint32_t count = 0;

    // First event at or after `from`, searched forward from `hint` when that is a valid start.
    std::uint32_t LowerBound(std::size_t from, std::uint32_t hint) const;
};

// The closings and the pairing of one name. When looked up for a given tag, `nextClosing` is
// the first closing after that tag's "<" and `selfEvent` the tag's own event; otherwise null
// and kNoIndex.
struct stTagName {
    stTagEntries closings;
    stPairing pairing;
    const stTagEntry* nextClosing = nullptr;
    std::uint32_t selfEvent = kNoIndex;
};

// Positions of tags in a whole text, grouped by name, built in one pass:
//  - closing tags: occurrences of "</" name ">";
//  - opening tags: occurrences of "<" name " " or "<" name ">" (empty-element tags included);
//  - every "<", every ">" and every "]]>".
// Only names up to kMaxXMLNameLength bytes are kept. Building may throw std::bad_alloc.
class CTagIndex {
public:
    explicit CTagIndex(std::string_view text);

    const CPositions& Less() const { return m_less; }
    const CPositions& Greater() const { return m_greater; }
    const CPositions& CDataEnds() const { return m_cdataEnds; }

    stTagName Find(std::string_view name);
    // False when "</" name ">" cannot lie in text[begin, end): no closing filed under the part
    // of the name before its first ">" fits there. A cheap test before Find for a name holding
    // ">", whose occurrences are picked out one by one.
    bool MayClose(std::string_view name, std::size_t begin, std::size_t end) const;
    // The same for the name of the tag whose "<" is at `position`, `name` being the text right
    // after it, with `nextClosing` and `selfEvent` set when the index holds the tag under that
    // name. A reader going forward through the text passes the same `hint` each time (start
    // with 0, or with the hint its parent level had when it reached the parent's tag): the
    // tag is then found next to the previous one, not by hashing its name.
    stTagName FindAt(std::size_t position, std::string_view name, std::uint32_t& hint);

private:
    // Name -> dense id (ids in order of first occurrence): an open-addressing table, at most
    // half full, of 8-byte slots, so that a large document's table stays small enough for the
    // cache; a name's bytes are compared in the text, at the occurrence that introduced it.
    class CNames {
    public:
        explicit CNames(std::string_view text) : m_text(text) {}
        std::uint32_t Intern(std::size_t offset, std::size_t length);
        std::uint32_t Lookup(std::string_view name) const;
        std::uint32_t Count() const { return static_cast<std::uint32_t>(m_keys.size()); }
        std::size_t Length(std::uint32_t id) const { return m_keys[id].length; }

    private:
        struct stSlot {
            std::uint32_t hash;
            std::uint32_t id; // kNoIndex when unused
        };
        struct stKey {
            std::uint32_t offset;
            std::uint32_t length;
        };

        static std::uint32_t Hash(std::string_view name);
        // The slot holding `name`, or the empty slot where it would go.
        std::size_t Probe(std::string_view name, std::uint32_t hash) const;
        void Grow();
        std::uint32_t InternNew(std::size_t offset, std::size_t length);

        std::string_view m_text;
        std::size_t m_lastOffset = 0; // the name interned last, and its id
        std::size_t m_lastLength = 0;
        std::uint32_t m_lastId = kNoIndex;
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

    // Events of any number of names, stored one name after the other.
    struct stPairings {
        std::vector<std::uint32_t> positions;
        std::vector<std::uint32_t> ends;
        std::vector<std::uint32_t> starts; // per name: first event, then the total

        // Appends the events of one name.
        void Add(std::string_view text, stTagEntries openings, stTagEntries closings,
                 std::vector<std::uint32_t>& scratch);
        stPairing Of(std::size_t name) const;
    };

    // An opening tag, the id of its name, and how many openings and closings of that name
    // come before it.
    struct stPlacedName {
        std::uint32_t position;
        std::uint32_t id;
        std::uint32_t openingsBefore;
        std::uint32_t closingsBefore;
    };

    // A name that holds ">" (only a name read across a CDATA section can): its occurrences,
    // picked out of those filed under the part before its first ">".
    struct stFilteredName {
        std::vector<stTagEntry> openings;
        std::vector<stTagEntry> closings;
        stPairings pairings;
    };

    stTagEntries Of(const COccurrences& occurrences, std::uint32_t id) const;
    stTagName Filtered(std::string_view name);
    // The occurrences of the prefix's id whose next `length` bytes after the name's start hash
    // to `hash` (candidates, grouped once per prefix, length and kind).
    const std::vector<stTagEntry>& Candidates(std::uint32_t id, std::size_t length, bool closing,
                                              std::uint64_t hash);
    std::uint64_t HashAt(std::size_t offset, std::size_t length);

    std::string_view m_text;
    CNames m_names;
    COccurrences m_closings;
    COccurrences m_openings;
    stPairings m_pairings;
    std::vector<stPlacedName> m_openingNames; // in text order
    CPositions m_less;
    CPositions m_greater;
    CPositions m_cdataEnds;
    std::unordered_map<std::string, stFilteredName> m_filtered;
    // Hashes of every prefix of the text, made when the first name holding ">" is looked up.
    std::vector<std::uint64_t> m_prefixHashes;
    std::vector<std::uint64_t> m_powers;
    std::map<std::uint64_t, std::unordered_map<std::uint64_t, std::vector<stTagEntry>>> m_candidates;
};

} // namespace airvane::xml
