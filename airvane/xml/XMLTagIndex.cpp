#include "airvane/xml/internal/XMLTagIndex.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace airvane::xml {

namespace {

// First index in [low, end) whose position is at or after `from`, found by doubling steps
// from `low`; every index before `low` must hold a position before `from`.
template <typename PositionOf>
std::size_t Gallop(std::size_t low, std::size_t end, std::size_t from, PositionOf positionOf) {
    for (std::size_t step = 1;; step *= 2) {
        if (low == end || positionOf(low) >= from) {
            return low;
        }
        const std::size_t high = low + 1 + std::min(step, end - low - 1);
        if (high == end || positionOf(high) >= from) {
            std::size_t first = low + 1;
            std::size_t count = high - first;
            while (count > 0) {
                const std::size_t half = count / 2;
                if (positionOf(first + half) < from) {
                    first += half + 1;
                    count -= half + 1;
                } else {
                    count = half;
                }
            }
            return first;
        }
        low = high;
    }
}

// Two polynomial hashes modulo 2^31 - 1, side by side in one word; 64-bit arithmetic only, so
// that 32-bit builds compute the same values.
constexpr std::uint64_t kHashModulus = 0x7FFFFFFFu;
constexpr std::uint64_t kHashBaseHigh = 131;
constexpr std::uint64_t kHashBaseLow = 257;

std::uint64_t HashStep(std::uint64_t hash, unsigned char c) {
    const std::uint64_t high = ((hash >> 32) * kHashBaseHigh + c + 1) % kHashModulus;
    const std::uint64_t low = ((hash & 0xFFFFFFFFu) * kHashBaseLow + c + 1) % kHashModulus;
    return (high << 32) | low;
}

std::uint64_t HashOf(std::string_view text) {
    std::uint64_t hash = 0;
    for (const char c : text) {
        hash = HashStep(hash, static_cast<unsigned char>(c));
    }
    return hash;
}

// Index of the first position at or after `from` among `size` sorted ones, searched from the
// previous answer `cursor` (mostly the answer is that one or one of the next few); `size` when
// there is none. Updates the cursor.
template <typename PositionOf>
std::size_t NextIndex(std::size_t size, std::size_t& cursor, std::size_t from, PositionOf positionOf) {
    std::size_t low = std::min(cursor, size);
    if (low != 0 && positionOf(low - 1) >= from) {
        cursor = Gallop(0, low, from, positionOf);
        return cursor;
    }
    // Every position before `low` lies before `from`; mostly the answer is one of the next few
    // (a reader passing an element and its closing tag moves two on), further ones are galloped to.
    for (int looked = 0; low != size && positionOf(low) < from; ++low) {
        if (++looked == 4) {
            low = Gallop(low, size, from, positionOf);
            break;
        }
    }
    cursor = low;
    return low;
}

} // namespace

std::uint32_t CPositions::Next(std::size_t from) const {
    const std::uint32_t* data = m_positions.data();
    const std::size_t size = m_positions.size();
    const std::size_t found = NextIndex(size, m_cursor, from, [data](std::size_t i) { return data[i]; });
    return found == size ? kNoIndex : data[found];
}

const stTagStart* CTagIndex::SearchTag(std::size_t from) const {
    const stTagStart* tags = m_tags.data();
    const std::size_t size = m_tags.size();
    const std::size_t found =
        NextIndex(size, m_tagCursor, from, [tags](std::size_t i) { return tags[i].position; });
    return found == size ? nullptr : tags + found;
}

const stTagEntry* stTagEntries::LowerBound(std::size_t from) const {
    return std::lower_bound(
        begin, end, from, [](const stTagEntry& entry, std::size_t value) { return entry.position < value; });
}

const stTagEntry* stTagEntries::SearchFrom(std::size_t from, const stTagEntry* hint) const {
    if (hint == nullptr || hint < begin || hint > end || (hint != begin && (hint - 1)->position >= from)) {
        return LowerBound(from);
    }
    const stTagEntry* first = begin;
    return first + Gallop(static_cast<std::size_t>(hint - first), static_cast<std::size_t>(end - first), from,
                          [first](std::size_t i) { return first[i].position; });
}

std::uint32_t stPairing::SearchFrom(std::size_t from, std::uint32_t hint) const {
    const std::uint32_t* data = positions;
    const auto positionOf = [data](std::size_t i) { return data[i]; };
    const bool validHint = hint <= count && (hint == 0 || positions[hint - 1] < from);
    return static_cast<std::uint32_t>(Gallop(validHint ? hint : 0, count, from, positionOf));
}

namespace {

// Each id's first index in an array of all ids' items, given how many each has; the total last.
void SetStarts(const WorkVector<std::uint32_t>& counts, WorkVector<std::uint32_t>& starts) {
    starts.resize(counts.size() + 1);
    starts[0] = 0;
    for (std::size_t id = 0; id < counts.size(); ++id) {
        starts[id + 1] = starts[id] + counts[id];
    }
}

} // namespace

namespace {

// Ends the waiting starts on top of a name's stack (linked through `ends` from `top`, each link
// marked as no end) whose balance before them, `balanceOf`, is `balance`, at `closing`: the
// balance moves by one at a time, so a closing that raises it from `balance` ends exactly
// those. Returns the new top of the stack.
template <class BalanceOf>
std::uint32_t EndWaiting(std::uint32_t* ends, std::uint32_t top, std::int32_t balance, std::uint32_t closing,
                         BalanceOf balanceOf) {
    while (top != kNoIndex && balanceOf(top) == balance) {
        const std::uint32_t link = ends[top];
        ends[top] = closing;
        top = link == kNoIndex ? kNoIndex : link & ~stPairing::kNoEnd;
    }
    return top;
}

} // namespace

void CTagIndex::CPairings::Prepare(const WorkVector<std::uint32_t>& counts) {
    SetStarts(counts, m_starts);
    m_positions.resize(m_starts.back());
    m_ends.resize(m_starts.back());
}

void CTagIndex::CPairings::PrepareToPair() {
    const std::size_t names = m_starts.size() - 1;
    m_before.resize(m_starts.back());
    m_balances.assign(names, 0);
    m_waiting.assign(names, kNoIndex);
}

inline void CTagIndex::CPairings::Add(std::uint32_t id, std::uint32_t index, std::uint32_t position,
                                      bool closing, bool counted) {
    const std::uint32_t event = m_starts[id] + index;
    m_positions[event] = position;
    const std::int32_t balance = m_balances[id];
    if (!closing) {
        // A start that waits: `m_ends` links it to the one below it on its name's stack, marked
        // as no end (kNoIndex, at the bottom of the stack, is one already).
        m_before[event] = balance;
        m_ends[event] = m_waiting[id] | stPairing::kNoEnd;
        m_waiting[id] = event;
        m_balances[id] = counted ? balance - 1 : balance;
        return;
    }
    // The closing ends itself (a content starting at a closing is empty) and every waiting
    // start that had this balance before it.
    m_ends[event] = index;
    m_waiting[id] = EndWaiting(m_ends.data(), m_waiting[id], balance, index,
                               [this](std::uint32_t start) { return m_before[start]; });
    m_balances[id] = balance + 1;
}

void CTagIndex::CPairings::Finish() {
    WorkVector<std::uint32_t>().swap(m_waiting);
    WorkVector<std::int32_t>().swap(m_before);
    WorkVector<std::int32_t>().swap(m_balances);
}

std::uint32_t CTagIndex::CNames::Hash(std::string_view name) {
    return static_cast<std::uint32_t>(std::hash<std::string_view>()(name));
}

std::size_t CTagIndex::CNames::Probe(std::string_view name, std::uint32_t hash) const {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const stSlot& slot = m_slots[i];
        if (slot.id == kNoIndex) {
            return i;
        }
        if (slot.hash == hash) {
            const stKey& key = m_keys[slot.id];
            if (m_text.substr(key.offset, key.length) == name) {
                return i;
            }
        }
    }
}

void CTagIndex::CNames::Grow() {
    WorkVector<stSlot> old;
    old.swap(m_slots);
    m_slots.assign(old.empty() ? 64 : old.size() * 2, stSlot{0, kNoIndex});
    const std::size_t mask = m_slots.size() - 1;
    for (const stSlot& slot : old) {
        if (slot.id == kNoIndex) {
            continue;
        }
        std::size_t i = slot.hash & mask;
        while (m_slots[i].id != kNoIndex) {
            i = (i + 1) & mask;
        }
        m_slots[i] = slot;
    }
}

std::uint32_t CTagIndex::CNames::InternNew(std::size_t offset, std::size_t length, std::uint64_t hash) {
    // At most three quarters full, so probing stays short and always ends at an empty slot.
    if (4 * (m_keys.size() + 1) > 3 * m_slots.size()) {
        Grow();
    }
    const std::string_view name = m_text.substr(offset, length);
    const std::uint32_t nameHash = hash != kNoHash ? static_cast<std::uint32_t>(hash) : Hash(name);
    stSlot& slot = m_slots[Probe(name, nameHash)];
    if (slot.id == kNoIndex) {
        slot = {nameHash, Count()};
        m_keys.push_back({static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length)});
    }
    return slot.id;
}

std::uint32_t CTagIndex::CNames::Lookup(std::string_view name) const {
    if (m_slots.empty()) {
        return kNoIndex;
    }
    return m_slots[Probe(name, Hash(name))].id;
}

void CTagIndex::COccurrences::Prepare(const WorkVector<std::uint32_t>& counts) {
    SetStarts(counts, m_starts);
    m_entries.resize(m_starts.back());
}

CTagIndex::CTagIndex(std::string_view text) : m_text(text), m_names(text) {
    FindMarks();
    const std::size_t tagCount = m_tags.size();
    // Tag indexes, like event indexes, stay below the pairing's "no end" bit.
    if (tagCount >= stPairing::kNoEnd) {
        throw std::bad_alloc();
    }
    // The records hold their positions; the rest of each is written below, as are the links of
    // the tags filed under a name, so the arrays are sized without being cleared.
    m_nextSame.resize(tagCount);
    m_tagEnds.resize(tagCount);
    std::size_t nextGreater = 0; // index of the first ">" after the current "<"
    // One tag after the other while the names table fits the caches. Mostly a tag's name is the
    // one filed last (a leaf's closing tag, siblings of one name, a nesting of one name).
    std::size_t k = 0;
    std::size_t lastStart = 0; // the name filed last, and its id (length 0: none yet)
    std::size_t lastLength = 0;
    std::uint32_t lastId = kNoIndex;
    while (k < tagCount) {
        const stNameRange name = ReadRecord(k, nextGreater);
        if (name.length == 0) {
            ++k;
            continue;
        }
        const bool known =
            name.length == lastLength && SameBytes(m_text.data(), name.start, lastStart, name.length);
        if (!known) {
            lastId = m_names.Intern(name.start, name.length);
            lastStart = name.start;
            lastLength = name.length;
        }
        FileName(static_cast<std::uint32_t>(k), name.closing, lastId);
        ++k;
        if (!known && m_names.Large()) {
            break;
        }
    }
    // Then a few at a time: the names of the few are hashed and their slots fetched first, so
    // that the misses overlap, and the tags are filed under them after.
    stNameRange names[kTagBatch];
    std::uint64_t hashes[kTagBatch];
    for (; k < tagCount; k += kTagBatch) {
        const std::size_t count = std::min(kTagBatch, tagCount - k);
        for (std::size_t i = 0; i < count; ++i) {
            names[i] = ReadRecord(k + i, nextGreater);
            if (names[i].length != 0) {
                hashes[i] = m_names.Prefetch(names[i].start, names[i].length);
            }
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (names[i].length != 0) {
                FileName(static_cast<std::uint32_t>(k + i), names[i].closing,
                         m_names.Intern(names[i].start, names[i].length, hashes[i]));
            }
        }
    }
}

inline CTagIndex::stNameRange CTagIndex::ReadRecord(std::size_t index, std::size_t& nextGreater) {
    const std::size_t size = m_text.size();
    const char* const data = m_text.data();
    const std::uint32_t* const greaters = m_greater.All().data();
    const std::size_t greaterCount = m_greater.All().size();
    const std::uint32_t at = m_tags[index].position;
    std::size_t g = nextGreater;
    while (g < greaterCount && greaters[g] < at) {
        ++g;
    }
    nextGreater = g;
    const std::size_t greater = g < greaterCount ? greaters[g] : size;
    // Written in place field by field: a whole record built aside and copied in would be read
    // back wider than it was written, which stalls the processor on every tag.
    stTagStart& tag = m_tags[index];
    tag.greater = static_cast<std::uint32_t>(greater);
    tag.previousGreater = g != 0 ? greaters[g - 1] : kNoIndex;
    // "</" name ">": the name runs to the first ">".
    const bool closing = at + 1 < size && data[at + 1] == '/';
    const std::size_t end = closing ? greater : OpeningNameEnd(at, greater);
    const std::size_t nameStart = at + (closing ? 2 : 1);
    const std::size_t length = end - nameStart;
    // A name ending in "/" (mostly an empty-element tag's, "<a/>") is never looked up: the
    // reader takes any name holding "/" for an empty-element tag's, which has no closing.
    if (end < size && length != 0 && length <= kMaxXMLNameLength && data[end - 1] != '/') {
        return {nameStart, length, closing};
    }
    tag.id = kNoIndex;
    return {0, 0, false};
}

inline void CTagIndex::FileName(std::uint32_t index, bool closing, std::uint32_t id) {
    stTagStart& tag = m_tags[index];
    tag.id = id;
    if (id == m_seen.size()) {
        AddName();
    }
    stSeen& name = m_seen[id];
    m_nextSame[index] = kNoIndex;
    if (name.lastTag != kNoIndex) {
        m_nextSame[name.lastTag] = index;
    }
    name.lastTag = index;
    if (!closing) {
        // An opening waits: `m_tagEnds` links it to the one below it on its name's stack,
        // marked as no end (kNoIndex, at the bottom of the stack, is one already). One whose
        // first ">" follows "/" is an empty-element tag and is not counted.
        ++name.openings;
        tag.balanceBefore = name.balance;
        m_tagEnds[index] = name.waiting | stPairing::kNoEnd;
        name.waiting = index;
        if (tag.greater >= m_text.size() || m_text[tag.greater - 1] != '/') {
            --name.balance;
        }
        return;
    }
    // The closing ends itself (a content starting at a closing is empty) and every waiting
    // opening that had this balance before it.
    ++name.closings;
    m_tagEnds[index] = index;
    const stTagStart* const tags = m_tags.data();
    name.waiting = EndWaiting(m_tagEnds.data(), name.waiting, name.balance, index,
                              [tags](std::uint32_t start) { return tags[start].balanceBefore; });
    ++name.balance;
}

void CTagIndex::AddName() {
    m_seen.push_back({0, 0, kNoIndex, kNoIndex, 0});
}

inline std::size_t CTagIndex::OpeningNameEnd(std::size_t less, std::size_t greater) const {
    // "<" name " " or "<" name ">": the name runs to the first " " or ">", looked for no further
    // than one byte past the longest name. Mostly it is short: its first bytes are looked at
    // one by one, the rest with a call.
    const char* data = m_text.data();
    const std::size_t limit = std::min(greater, std::min(m_text.size(), less + 2 + kMaxXMLNameLength));
    const std::size_t near = std::min(limit, less + 1 + kShortName);
    std::size_t end = less + 1;
    while (end < near && data[end] != ' ') {
        ++end;
    }
    if (end == near && near < limit) {
        const void* space = std::memchr(data + near, ' ', limit - near);
        end = space != nullptr ? static_cast<std::size_t>(static_cast<const char*>(space) - data) : limit;
    }
    return end < limit ? end : greater;
}

namespace {

#if defined(__SSE2__)
// Filing passes over a piece of the text this long that holds no mark in one step.
constexpr std::size_t kPieceBytes = 4096;
static_assert(kPieceBytes % 64 == 0, "pieces are whole blocks");

// 64 bytes of the text, as four 16-byte vectors.
struct stBlock {
    __m128i bytes[4];
};

stBlock LoadBlock(const char* at) {
    return {{_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)),
             _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16)),
             _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 32)),
             _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 48))}};
}

// Where `kind` occurs in the block, one bit per byte.
std::uint64_t Bits(const stBlock& block, char kind) {
    const __m128i wanted = _mm_set1_epi8(kind);
    std::uint64_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        const auto part =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block.bytes[i], wanted)));
        bits |= std::uint64_t{part} << (16 * i);
    }
    return bits;
}

// Adds to the two counts in `sums` how many bytes of the block are `kind`.
__m128i Count(__m128i sums, const stBlock& block, char kind) {
    const __m128i wanted = _mm_set1_epi8(kind);
    // Each byte of `found` counts the blocks' vectors holding the mark at that byte: 0 to 4.
    __m128i found = _mm_setzero_si128();
    for (const __m128i& bytes : block.bytes) {
        found = _mm_sub_epi8(found, _mm_cmpeq_epi8(bytes, wanted));
    }
    return _mm_add_epi64(sums, _mm_sad_epu8(found, _mm_setzero_si128()));
}

// The two counts added up. Each is below 2^31: at most 32 per 64 bytes of a text shorter than
// 4 GiB.
std::size_t Total(__m128i sums) {
    return static_cast<std::size_t>(static_cast<std::uint32_t>(_mm_cvtsi128_si32(sums))) +
           static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
}

// Where a mark's position goes: a ">" is its position, a "<" the record of its tag.
std::uint32_t& PositionIn(std::uint32_t& mark) {
    return mark;
}
std::uint32_t& PositionIn(stTagStart& mark) {
    return mark.position;
}

// Appends base + the index of each set bit. The array has room for a whole block past the
// marks it will hold, so that the positions are written without a check each.
template <class Mark>
inline void Append(WorkVector<Mark>& marks, std::size_t& count, std::uint64_t bits, std::uint32_t base) {
    Mark* const first = marks.data() + count;
    Mark* out = first;
    while (bits != 0) {
        PositionIn(*out++) = base + static_cast<std::uint32_t>(__builtin_ctzll(bits));
        bits &= bits - 1;
    }
    count += static_cast<std::size_t>(out - first);
}
#endif

} // namespace

void CTagIndex::FindMarks() {
    WorkVector<stTagStart>& less = m_tags;
    const std::size_t size = m_text.size();
    const char* data = m_text.data();
    WorkVector<std::uint32_t> greaters;
#if defined(__SSE2__)
    // 64 bytes at a time: a bit mask per kind of byte, then the positions of its set bits. In
    // documents dense with tags this costs far less than a search from each mark to the next.
    // The marks are counted first, so that each array is made once at its size instead of
    // growing by copies: in a document dense with tags the copying costs more than the count.
    __m128i lessSums = _mm_setzero_si128();
    __m128i greaterSums = _mm_setzero_si128();
    // The marks are counted piece by piece, and each piece of whole blocks that holds none is
    // noted, so that filing passes over it without looking at its bytes again: a long value,
    // comment or text is read once here and not searched a second time.
    const std::size_t wholeBlocks = size - size % 64;
    WorkVector<std::uint8_t> piecesMarked;
    piecesMarked.resize(wholeBlocks / kPieceBytes + 1);
    std::size_t counted = 0;
    while (counted != wholeBlocks) {
        const std::size_t pieceEnd = std::min(wholeBlocks, counted + kPieceBytes);
        const __m128i before = _mm_add_epi64(lessSums, greaterSums);
        for (; counted != pieceEnd; counted += 64) {
            const stBlock block = LoadBlock(data + counted);
            lessSums = Count(lessSums, block, '<');
            greaterSums = Count(greaterSums, block, '>');
        }
        const __m128i after = _mm_add_epi64(lessSums, greaterSums);
        piecesMarked[(pieceEnd - 1) / kPieceBytes] =
            _mm_movemask_epi8(_mm_cmpeq_epi8(before, after)) != 0xFFFF ? 1 : 0;
    }
    // The last bytes, in a block padded with zeros, which mark nothing.
    char tail[64] = {};
    std::memcpy(tail, data + counted, size - counted);
    const stBlock lastBlock = LoadBlock(tail);
    less.resize(Total(Count(lessSums, lastBlock, '<')) + 64);
    greaters.resize(Total(Count(greaterSums, lastBlock, '>')) + 64);
    std::size_t lessCount = 0;
    std::size_t greaterCount = 0;
    // Files the marks of the 64 bytes from `base`, held in `block`.
    const auto file = [&](const stBlock& block, std::size_t base) {
        const auto at = static_cast<std::uint32_t>(base);
        const std::uint64_t lessBits = Bits(block, '<');
        const std::uint64_t greaterBits = Bits(block, '>');
        if (lessBits != 0) {
            Append(less, lessCount, lessBits, at);
        }
        if (greaterBits != 0) {
            Append(greaters, greaterCount, greaterBits, at);
        }
    };
    for (std::size_t pieceStart = 0; pieceStart != wholeBlocks;) {
        const std::size_t pieceEnd = std::min(wholeBlocks, pieceStart + kPieceBytes);
        if (piecesMarked[pieceStart / kPieceBytes] != 0) {
            for (std::size_t base = pieceStart; base != pieceEnd; base += 64) {
                file(LoadBlock(data + base), base);
            }
        }
        pieceStart = pieceEnd;
    }
    file(lastBlock, wholeBlocks);
    less.resize(lessCount);
    greaters.resize(greaterCount);
#else
    const auto findByte = [data, size](std::size_t from, char c) {
        const void* found = std::memchr(data + from, c, size - from);
        return found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - data) : size;
    };
    for (std::size_t at = findByte(0, '<'); at != size; at = findByte(at + 1, '<')) {
        less.emplace_back().position = static_cast<std::uint32_t>(at);
    }
    for (std::size_t at = findByte(0, '>'); at != size; at = findByte(at + 1, '>')) {
        greaters.push_back(static_cast<std::uint32_t>(at));
    }
#endif
    m_greater.Assign(std::move(greaters));
}

const CPositions& CTagIndex::CDataEnds() {
    if (!m_cdataEndsFiled) {
        // Every "]]>" is a ">" with two "]" before it.
        WorkVector<std::uint32_t> ends;
        for (const std::uint32_t at : m_greater.All()) {
            if (at >= 2 && m_text[at - 1] == ']' && m_text[at - 2] == ']') {
                ends.push_back(at - 2);
            }
        }
        m_cdataEnds.Assign(std::move(ends));
        m_cdataEndsFiled = true;
    }
    return m_cdataEnds;
}

void CTagIndex::Group() {
    WorkVector<std::uint32_t> closings(m_seen.size());
    WorkVector<std::uint32_t> events(m_seen.size());
    for (std::size_t id = 0; id < m_seen.size(); ++id) {
        closings[id] = m_seen[id].closings;
        events[id] = m_seen[id].openings + m_seen[id].closings;
    }
    m_closings.Prepare(closings);
    m_pairings.Prepare(events);
    // Each tag's counts first, as the pairing's ends are given as counts of later tags.
    std::fill(closings.begin(), closings.end(), 0);
    WorkVector<std::uint32_t>& openings = events;
    std::fill(openings.begin(), openings.end(), 0);
    for (stTagStart& tag : m_tags) {
        if (tag.id != kNoIndex) {
            const bool closing = m_text[tag.position + 1] == '/';
            tag.openingsBefore = closing ? openings[tag.id] : openings[tag.id]++;
            tag.closingsBefore = closing ? closings[tag.id]++ : closings[tag.id];
        }
    }
    for (std::size_t index = 0; index < m_tags.size(); ++index) {
        const stTagStart& tag = m_tags[index];
        if (tag.id == kNoIndex) {
            continue;
        }
        if (m_text[tag.position + 1] == '/') {
            m_closings.Put(tag.id, tag.closingsBefore, {tag.position, tag.greater});
        }
        // The pairing's ends are the ending closings' places among the name's events.
        const std::uint32_t end = m_tagEnds[index];
        const std::uint32_t endEvent = (end & stPairing::kNoEnd) != 0
                                           ? stPairing::kNoEnd
                                           : m_tags[end].openingsBefore + m_tags[end].closingsBefore;
        m_pairings.Put(tag.id, tag.openingsBefore + tag.closingsBefore, tag.position, endEvent);
    }
    m_grouped = true;
}

const CTagIndex::COccurrences& CTagIndex::Openings() {
    if (!m_openingsFiled) {
        WorkVector<std::uint32_t> counts(m_seen.size());
        for (std::size_t id = 0; id < m_seen.size(); ++id) {
            counts[id] = m_seen[id].openings;
        }
        m_openings.Prepare(counts);
        for (const stTagStart& tag : m_tags) {
            if (tag.id != kNoIndex && m_text[tag.position + 1] != '/') {
                m_openings.Put(tag.id, tag.openingsBefore, {tag.position, tag.greater});
            }
        }
        m_openingsFiled = true;
    }
    return m_openings;
}

stTagEntries CTagIndex::Of(const COccurrences& occurrences, std::uint32_t id) const {
    return id == kNoIndex ? stTagEntries{} : occurrences.Of(id);
}

std::uint64_t CTagIndex::HashAt(std::size_t offset, std::size_t length) {
    if (m_prefixHashes.empty()) {
        m_prefixHashes.resize(m_text.size() + 1);
        m_prefixHashes[0] = 0;
        for (std::size_t i = 0; i < m_text.size(); ++i) {
            m_prefixHashes[i + 1] = HashStep(m_prefixHashes[i], static_cast<unsigned char>(m_text[i]));
        }
        m_powers.assign(1, (std::uint64_t{1} << 32) | 1u);
    }
    while (m_powers.size() <= length) {
        const std::uint64_t last = m_powers.back();
        m_powers.push_back((((last >> 32) * kHashBaseHigh % kHashModulus) << 32) |
                           ((last & 0xFFFFFFFFu) * kHashBaseLow % kHashModulus));
    }
    // hash(text[offset, offset + length)) = H(offset + length) - H(offset) * base^length.
    const std::uint64_t whole = m_prefixHashes[offset + length];
    const std::uint64_t head = m_prefixHashes[offset];
    const std::uint64_t power = m_powers[length];
    const auto part = [](std::uint64_t wholePart, std::uint64_t headPart, std::uint64_t powerPart) {
        return (wholePart + kHashModulus - headPart * powerPart % kHashModulus) % kHashModulus;
    };
    return (part(whole >> 32, head >> 32, power >> 32) << 32) |
           part(whole & 0xFFFFFFFFu, head & 0xFFFFFFFFu, power & 0xFFFFFFFFu);
}

const WorkVector<stTagEntry>& CTagIndex::Candidates(std::uint32_t id, std::size_t length, bool closing,
                                                    std::uint64_t hash) {
    static const WorkVector<stTagEntry> kNone;
    const std::uint64_t key = (std::uint64_t{id} << 16) | (std::uint64_t{length} << 1) | (closing ? 1u : 0u);
    auto group = m_candidates.find(key);
    if (group == m_candidates.end()) {
        std::unordered_map<std::uint64_t, WorkVector<stTagEntry>> byHash;
        const stTagEntries entries = Of(closing ? m_closings : Openings(), id);
        const std::size_t nameOffset = closing ? 2 : 1;
        for (const stTagEntry* it = entries.begin; it != entries.end; ++it) {
            const std::size_t start = it->position + nameOffset;
            if (start + length <= m_text.size()) {
                byHash[HashAt(start, length)].push_back(*it);
            }
        }
        group = m_candidates.emplace(key, std::move(byHash)).first;
    }
    const auto found = group->second.find(hash);
    return found != group->second.end() ? found->second : kNone;
}

stTagName CTagIndex::Filtered(std::string_view name) {
    const std::string key(name);
    auto found = m_filtered.find(key);
    if (found == m_filtered.end()) {
        stFilteredName entries;
        const std::uint32_t id = m_names.Lookup(name.substr(0, name.find('>')));
        if (id != kNoIndex && name.size() <= kMaxXMLNameLength) {
            const std::uint64_t hash = HashOf(name);
            for (const bool closing : {false, true}) {
                const std::size_t nameOffset = closing ? 2 : 1;
                WorkVector<stTagEntry>& kept = closing ? entries.closings : entries.openings;
                for (const stTagEntry& entry : Candidates(id, name.size(), closing, hash)) {
                    const std::size_t after = entry.position + nameOffset + name.size();
                    if (after >= m_text.size() ||
                        m_text.compare(entry.position + nameOffset, name.size(), name) != 0) {
                        continue;
                    }
                    const char next = m_text[after];
                    if (next == '>' || (!closing && next == ' ')) {
                        kept.push_back(entry);
                    }
                }
            }
        }
        Pair(entries);
        found = m_filtered.emplace(key, std::move(entries)).first;
    }
    const stFilteredName& entries = found->second;
    stTagName result;
    result.closings = {entries.closings.data(), entries.closings.data() + entries.closings.size()};
    result.pairing = entries.pairings.Of(0);
    return result;
}

void CTagIndex::Pair(stFilteredName& entries) const {
    const std::size_t openings = entries.openings.size();
    const std::size_t closings = entries.closings.size();
    entries.pairings.Prepare({static_cast<std::uint32_t>(openings + closings)});
    entries.pairings.PrepareToPair();
    // The two lists merged in text order.
    std::size_t opening = 0;
    std::size_t closing = 0;
    for (std::uint32_t index = 0; opening + closing < openings + closings; ++index) {
        if (closing != closings && (opening == openings || entries.closings[closing].position <
                                                               entries.openings[opening].position)) {
            entries.pairings.Add(0, index, entries.closings[closing++].position, true, false);
            continue;
        }
        const stTagEntry& entry = entries.openings[opening++];
        const bool counted = entry.greater >= m_text.size() || m_text[entry.greater - 1] != '/';
        entries.pairings.Add(0, index, entry.position, false, counted);
    }
    entries.pairings.Finish();
}

bool CTagIndex::MayClose(std::string_view name, std::size_t begin, std::size_t end) {
    if (!m_grouped) {
        Group();
    }
    const std::uint32_t id = m_names.Lookup(name.substr(0, name.find('>')));
    const stTagEntries closings = Of(m_closings, id);
    const stTagEntry* first = closings.LowerBound(begin);
    return first != closings.end && first->position + name.size() + 3 <= end;
}

stTagName CTagIndex::Find(std::string_view name) {
    if (!m_grouped) {
        Group();
    }
    if (name.find('>') != std::string_view::npos) {
        return Filtered(name);
    }
    const std::uint32_t id = m_names.Lookup(name);
    stTagName result;
    if (id != kNoIndex) {
        result.closings = m_closings.Of(id);
        result.pairing = m_pairings.Of(id);
    }
    return result;
}

} // namespace airvane::xml
