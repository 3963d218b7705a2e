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

#include "airvane/platform/internal/WorkMemory.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace airvane::xml {

// The index's arrays grow with the text; large ones are mapped in huge pages where possible.
using platform::WorkVector;

// The longest element name (the first word of a tag) the reader accepts.
constexpr std::size_t kMaxXMLNameLength = 124;
// Names up to this length are compared and scanned byte by byte, longer ones with library calls.
constexpr std::size_t kShortName = 16;
// "None" for positions and event indexes.
constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu;

// Whether the `length` bytes at offsets `first` and `second` of `data` are the same. Mostly
// names are short: a plain loop costs less than a call. It runs from the end, where numbered
// names differ.
inline bool SameBytes(const char* data, std::size_t first, std::size_t second, std::size_t length) {
    if (length > kShortName) {
        return std::memcmp(data + first, data + second, length) == 0;
    }
    for (std::size_t i = length; i != 0; --i) {
        if (data[first + i - 1] != data[second + i - 1]) {
            return false;
        }
    }
    return true;
}

// Sorted positions of one pattern in the whole text. Queries are answered next to the previous
// answer (galloping), so a reader going forward pays for the distance, not for the size.
class CPositions {
public:
    void Assign(WorkVector<std::uint32_t>&& positions) { m_positions = std::move(positions); }
    // First position at or after `from`, or kNoIndex.
    std::uint32_t Next(std::size_t from) const;
    const WorkVector<std::uint32_t>& All() const { return m_positions; }

private:
    WorkVector<std::uint32_t> m_positions;
    mutable std::size_t m_cursor = 0; // index of the previous answer
};

// One "<" of the text, with what the reader asks about the tag it starts. When the index files
// the tag as an opening or a closing of a name, `id` is that name's id, and once the tags are
// grouped by name the two counts are the openings and closings of the name before it (so the
// tag is the event openingsBefore + closingsBefore of its name's pairing); otherwise `id` is
// kNoIndex. While the tags are paired, an opening keeps its name's balance before it where its
// count of openings will go.
struct stTagStart {
    std::uint32_t position;
    std::uint32_t greater;         // the first ">" after it, the text's size when there is none
    std::uint32_t previousGreater; // the last ">" before it, or kNoIndex
    std::uint32_t id;
    union {
        std::uint32_t openingsBefore;
        std::int32_t balanceBefore;
    };
    std::uint32_t closingsBefore;
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
    // `from`; any other hint, null included, falls back to the plain search. Mostly the answer
    // is the hint itself, which is told without a call.
    const stTagEntry* LowerBound(std::size_t from, const stTagEntry* hint) const {
        if (hint != nullptr && hint >= begin && hint < end && hint->position >= from &&
            (hint == begin || (hint - 1)->position < from)) {
            return hint;
        }
        return SearchFrom(from, hint);
    }

private:
    const stTagEntry* SearchFrom(std::size_t from, const stTagEntry* hint) const;
};

// The openings and closings of one name merged in text order ("events"), with, for each event,
// the closing that ends an element's content starting there: pairing the k-th counted nested
// opening with the k-th closing, the content ends at the first closing that comes before its
// opening, that is at the first closing where the closings seen outnumber the counted openings
// seen. An opening is counted unless its first ">" is preceded by "/" (an empty-element tag).
struct stPairing {
    // An end with this bit set is none: no closing ends the content. Every event index is below
    // it, as a text shorter than 4 GiB holds fewer than 2^31 tags.
    static constexpr std::uint32_t kNoEnd = 0x80000000u;

    const std::uint32_t* positions = nullptr; // per event: position of its "<"
    const std::uint32_t* ends = nullptr;      // per event: index of the ending closing (see kNoEnd)
    std::uint32_t count = 0;

    bool HasEnd(std::uint32_t event) const { return (ends[event] & kNoEnd) == 0; }

    // First event at or after `from`, searched forward from `hint` when that is a valid start.
    // Mostly the answer is the event after the hint, which is told without a call.
    std::uint32_t LowerBound(std::size_t from, std::uint32_t hint) const {
        if (hint < count && positions[hint] < from && (hint + 1 == count || positions[hint + 1] >= from)) {
            return hint + 1;
        }
        return SearchFrom(from, hint);
    }

private:
    std::uint32_t SearchFrom(std::size_t from, std::uint32_t hint) const;
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

// Positions of tags in a whole text, grouped by name, built in a pass over the text that finds
// its "<" and ">" and one over the tags found:
//  - closing tags: occurrences of "</" name ">";
//  - opening tags: occurrences of "<" name " " or "<" name ">" (empty-element tags included);
//  - every "<" (with its tag's first ">"), every ">" and (when first asked for) every "]]>".
// Only names up to kMaxXMLNameLength bytes, not ending in "/", are kept (the reader never looks
// up a name holding "/"). The pass over the tags pairs each name's openings with its closings
// as it goes, tag by tag; the occurrences grouped by name, which searches from any position
// need, are made the first time one is asked for. Building may throw std::bad_alloc.
class CTagIndex {
public:
    explicit CTagIndex(std::string_view text);

    // The first "<" at or after `from`, or null. Mostly it is the one found last or one of the
    // next three (past an element and its closing tag, or past one holding a bare element), which
    // is answered here without a call.
    const stTagStart* NextTag(std::size_t from) const {
        const std::size_t cursor = m_tagCursor;
        const std::size_t size = m_tags.size();
        const stTagStart* tags = m_tags.data();
        if (cursor < size && (cursor == 0 || tags[cursor - 1].position < from)) {
            const std::size_t last = std::min(size, cursor + 4);
            for (std::size_t i = cursor; i < last; ++i) {
                if (tags[i].position >= from) {
                    m_tagCursor = i;
                    return tags + i;
                }
            }
        }
        return SearchTag(from);
    }
    const CPositions& Greater() const { return m_greater; }
    // Every "]]>", found the first time it is asked for (most documents hold no CDATA section).
    const CPositions& CDataEnds();

    stTagName Find(std::string_view name);
    // False when "</" name ">" cannot lie in text[begin, end): no closing filed under the part
    // of the name before its first ">" fits there. A cheap test before Find for a name holding
    // ">", whose occurrences are picked out one by one.
    bool MayClose(std::string_view name, std::size_t begin, std::size_t end);
    // Find for the name of the tag that starts at `tag`, `name` being the text right after its
    // "<", into `found`, with `nextClosing` and `selfEvent` set when the index holds the tag as
    // an opening of that name: then no name is hashed. (Written into the caller's record field
    // by field: the reader asks once per tag.)
    void FindAt(const stTagStart& tag, std::string_view name, stTagName& found) {
        if (!m_grouped) {
            Group();
        }
        if (FiledAsOpening(tag, name)) {
            found.closings = m_closings.Of(tag.id);
            found.pairing = m_pairings.Of(tag.id);
            found.nextClosing = found.closings.begin + tag.closingsBefore;
            found.selfEvent = tag.openingsBefore + tag.closingsBefore;
            return;
        }
        found = Find(name);
    }
    // For a tag filed as an opening of a name (a record of this index), the closing tag that
    // ends the content of its element starting at `begin`, told by the name's next tag when
    // that starts at or after `begin`: the content ends where that tag's pairing ends. Null
    // when no closing ends it, or when the next tag lies before `begin` (Find tells then).
    const stTagStart* ContentEnd(const stTagStart& tag, std::size_t begin) const {
        const std::uint32_t next = m_nextSame[static_cast<std::size_t>(&tag - m_tags.data())];
        if (next == kNoIndex || m_tags[next].position < begin) {
            return nullptr;
        }
        const std::uint32_t end = m_tagEnds[next];
        return (end & stPairing::kNoEnd) == 0 ? &m_tags[end] : nullptr;
    }
    // Bytes of the name filed under `id`.
    std::size_t NameLength(std::uint32_t id) const { return m_names.Length(id); }
    // True when the tag that starts at `tag` is filed as an opening of `name`, `name` being the
    // text right after its "<": the filed name starts at the same byte, so equal lengths mean
    // equal names.
    bool FiledAsOpening(const stTagStart& tag, std::string_view name) const {
        return tag.id != kNoIndex && m_text[tag.position + 1] != '/' && m_names.Length(tag.id) == name.size();
    }
    // True when the tag is filed as an opening of `name` (see FiledAsOpening) and the text
    // holds no closing of that name at all: a quick answer for tags never closed.
    bool NeverClosed(const stTagStart& tag, std::string_view name) const {
        return FiledAsOpening(tag, name) && NeverClosed(tag);
    }
    // True when the text holds no closing of the name that `tag` is filed under (it must be
    // filed under one).
    bool NeverClosed(const stTagStart& tag) const { return m_seen[tag.id].closings == 0; }

private:
    // Name -> dense id (ids in order of first occurrence): an open-addressing table, at most
    // three quarters full, of 8-byte slots, so that the table of a document with a million
    // distinct names stays small enough for the cache (a probe mostly stays within one cache
    // line of 8 slots); a name's bytes are compared in the text, at the occurrence that
    // introduced it.
    class CNames {
    public:
        explicit CNames(std::string_view text) : m_text(text) {}
        // The name's id; `hash` is its hash when the caller has it already (kNoHash otherwise).
        std::uint32_t Intern(std::size_t offset, std::size_t length, std::uint64_t hash = kNoHash) {
            // Siblings of one name and a leaf's closing tag repeat the name met last; other
            // names met lately are kept by length and last byte, so that the names of a short
            // chain of nested elements are found without hashing too.
            const stRecent& newest = m_recent[m_newest];
            if (length == newest.length && SameBytes(offset, newest.offset, length)) {
                return newest.id;
            }
            const auto last = static_cast<unsigned char>(m_text[offset + length - 1]);
            m_newest = (length + last) % kRecentNames;
            stRecent& recent = m_recent[m_newest];
            if (length != recent.length || !SameBytes(offset, recent.offset, length)) {
                recent = {offset, length, InternNew(offset, length, hash)};
            }
            return recent.id;
        }
        std::uint32_t Lookup(std::string_view name) const;
        // True once the table is too large for the caches: names are then hashed some tags
        // ahead and their slots fetched early, so that the misses overlap.
        bool Large() const { return m_slots.size() >= kLargeSlots; }
        // The name's hash, its slot fetched into the cache.
        std::uint64_t Prefetch(std::size_t offset, std::size_t length) const {
            const std::uint32_t hash = Hash(m_text.substr(offset, length));
            __builtin_prefetch(m_slots.data() + (hash & (m_slots.size() - 1)));
            return hash;
        }
        static constexpr std::uint64_t kNoHash = ~std::uint64_t{0};
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

        bool SameBytes(std::size_t first, std::size_t second, std::size_t length) const {
            return xml::SameBytes(m_text.data(), first, second, length);
        }
        static std::uint32_t Hash(std::string_view name);
        // The slot holding `name`, or the empty slot where it would go.
        std::size_t Probe(std::string_view name, std::uint32_t hash) const;
        void Grow();
        std::uint32_t InternNew(std::size_t offset, std::size_t length, std::uint64_t hash);
        static constexpr std::size_t kLargeSlots = std::size_t{1} << 15;

        std::string_view m_text;
        // A name met lately (length 0: none).
        struct stRecent {
            std::size_t offset = 0;
            std::size_t length = 0;
            std::uint32_t id = kNoIndex;
        };
        static constexpr std::size_t kRecentNames = 16;
        stRecent m_recent[kRecentNames];
        std::size_t m_newest = 0; // the slot of the name met last
        WorkVector<stSlot> m_slots;
        WorkVector<stKey> m_keys; // per id
    };

    // Occurrences of one kind of tag grouped by name id, in increasing position within a name.
    class COccurrences {
    public:
        // Room for counts[id] occurrences of each name.
        void Prepare(const WorkVector<std::uint32_t>& counts);
        // Files the occurrence that has `before` others of its name before it.
        void Put(std::uint32_t id, std::uint32_t before, stTagEntry entry) {
            m_entries[m_starts[id] + before] = entry;
        }
        stTagEntries Of(std::uint32_t id) const {
            return {m_entries.data() + m_starts[id], m_entries.data() + m_starts[id + 1]};
        }
        std::uint32_t Count(std::uint32_t id) const { return m_starts[id + 1] - m_starts[id]; }

    private:
        WorkVector<std::uint32_t> m_starts; // per name id: first index in m_entries, then the total
        WorkVector<stTagEntry> m_entries;
    };

    // Events of any number of names, stored one name after the other, paired while they are
    // filed in text order: a start waits on a stack of its name until the closing after which
    // the closings seen outnumber the counted openings seen from it. The balance moves by one
    // at a time, so the closing that raises it from b ends exactly the waiting starts that had
    // balance b before them, and those are the top of the stack.
    class CPairings {
    public:
        // Room for counts[id] events of each name.
        void Prepare(const WorkVector<std::uint32_t>& counts);
        // Files the `index`-th event of name `id` already paired: `end` is the index of the
        // closing that ends it, or kNoEnd.
        void Put(std::uint32_t id, std::uint32_t index, std::uint32_t position, std::uint32_t end) {
            const std::uint32_t event = m_starts[id] + index;
            m_positions[event] = position;
            m_ends[event] = end;
        }
        // Room to pair the events as they are added.
        void PrepareToPair();
        // Files the `index`-th event of name `id`, in text order across all names: a closing,
        // or an opening, counted unless it is an empty-element tag.
        void Add(std::uint32_t id, std::uint32_t index, std::uint32_t position, bool closing, bool counted);
        // Lets go of what only filing needs. Call after the last Add. The starts still waiting
        // (no closing ends their content) keep their links, which read as no end.
        void Finish();
        stPairing Of(std::size_t id) const {
            const std::uint32_t first = m_starts[id];
            return {m_positions.data() + first, m_ends.data() + first, m_starts[id + 1] - first};
        }

    private:
        WorkVector<std::uint32_t> m_positions;
        WorkVector<std::uint32_t> m_ends;    // a waiting start's link to the one below it, until answered
        WorkVector<std::uint32_t> m_starts;  // per name: first event, then the total
        WorkVector<std::int32_t> m_balances; // per name: closings minus counted openings so far
        WorkVector<std::uint32_t> m_waiting; // per name: the latest waiting start, or kNoIndex
        WorkVector<std::int32_t> m_before;   // per event: the balance before it
    };

    // A name that holds ">" (only a name read across a CDATA section can): its occurrences,
    // picked out of those filed under the part before its first ">".
    struct stFilteredName {
        WorkVector<stTagEntry> openings;
        WorkVector<stTagEntry> closings;
        CPairings pairings;
    };

    // NextTag's search beyond the tag found last and the next one.
    const stTagStart* SearchTag(std::size_t from) const;
    // Every "<" of the text into the tags' records (their positions only), every ">" into the
    // index.
    void FindMarks();
    // Where the name of an opening tag whose "<" is at `less` ends (`greater` is its first ">").
    std::size_t OpeningNameEnd(std::size_t less, std::size_t greater) const;
    // What the pass over the tags knows of one name so far.
    struct stSeen {
        std::uint32_t openings;
        std::uint32_t closings;
        std::uint32_t lastTag; // the name's latest tag, or kNoIndex
        // The latest opening whose content no closing has ended yet (the top of the name's
        // stack of them, linked through m_tagEnds), or kNoIndex.
        std::uint32_t waiting;
        std::int32_t balance; // closings minus counted openings
    };
    // Where a tag's name lies in the text (length 0: the tag is not filed under a name).
    struct stNameRange {
        std::size_t start;
        std::size_t length;
        bool closing;
    };
    static constexpr std::size_t kTagBatch = 16;
    // Writes the record of tag `index`, which holds its position, but for what filing it under
    // its name adds (written here when it is not filed); `nextGreater` is the index of the
    // first ">" after the tag before, then after this one.
    stNameRange ReadRecord(std::size_t index, std::size_t& nextGreater);
    // Files tag `index` under name `id`: counts it, links it to the name's previous tag, and
    // pairs it (as CPairings::Add does for events).
    void FileName(std::uint32_t index, bool closing, std::uint32_t id);
    // A record for a name met for the first time.
    [[gnu::noinline]] void AddName();
    // Groups the tags by name, with their pairing: the first time a search needs it.
    void Group();
    stTagEntries Of(const COccurrences& occurrences, std::uint32_t id) const;
    const COccurrences& Openings();
    // Pairs a filtered name's openings and closings.
    void Pair(stFilteredName& entries) const;
    stTagName Filtered(std::string_view name);
    // The occurrences of the prefix's id whose next `length` bytes after the name's start hash
    // to `hash` (candidates, grouped once per prefix, length and kind).
    const WorkVector<stTagEntry>& Candidates(std::uint32_t id, std::size_t length, bool closing,
                                             std::uint64_t hash);
    std::uint64_t HashAt(std::size_t offset, std::size_t length);

    std::string_view m_text;
    CNames m_names;
    WorkVector<stSeen> m_seen; // per name id
    // Per tag, when it is filed under a name: the name's next tag (or kNoIndex), and the tag
    // of the closing that ends a content starting at it (kNoEnd set when none does).
    WorkVector<std::uint32_t> m_nextSame;
    WorkVector<std::uint32_t> m_tagEnds;
    // The tags grouped by name (closings and pairing), made by Group.
    bool m_grouped = false;
    COccurrences m_closings;
    CPairings m_pairings;
    // The openings by name are needed only for names holding ">", so they are filed the first
    // time one is looked up.
    COccurrences m_openings;
    bool m_openingsFiled = false;
    WorkVector<stTagStart> m_tags;       // every "<", in text order
    mutable std::size_t m_tagCursor = 0; // the tag NextTag found last
    CPositions m_greater;
    CPositions m_cdataEnds;
    bool m_cdataEndsFiled = false;
    std::unordered_map<std::string, stFilteredName> m_filtered;
    // Hashes of every prefix of the text, made when the first name holding ">" is looked up.
    WorkVector<std::uint64_t> m_prefixHashes;
    WorkVector<std::uint64_t> m_powers;
    std::map<std::uint64_t, std::unordered_map<std::uint64_t, WorkVector<stTagEntry>>> m_candidates;
};

} // namespace airvane::xml
