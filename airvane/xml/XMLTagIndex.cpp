#include "airvane/xml/internal/XMLTagIndex.h"

#include <algorithm>
#include <cstring>
#include <functional>

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

} // namespace

std::uint32_t CPositions::Next(std::size_t from) const {
    const std::uint32_t* data = m_positions.data();
    const std::size_t size = m_positions.size();
    const auto positionOf = [data](std::size_t i) { return data[i]; };
    const std::size_t low = std::min(m_cursor, size);
    // Mostly the answer is the previous one or the one after it.
    for (std::size_t near = low; near < size && near <= low + 1; ++near) {
        if (data[near] >= from && (near == 0 || data[near - 1] < from)) {
            m_cursor = near;
            return data[near];
        }
    }
    const std::size_t found = low != 0 && data[low - 1] >= from ? Gallop(0, low, from, positionOf)
                                                                : Gallop(low, size, from, positionOf);
    m_cursor = found;
    return found == size ? kNoIndex : data[found];
}

const stTagEntry* stTagEntries::LowerBound(std::size_t from) const {
    return std::lower_bound(
        begin, end, from, [](const stTagEntry& entry, std::size_t value) { return entry.position < value; });
}

const stTagEntry* stTagEntries::LowerBound(std::size_t from, const stTagEntry* hint) const {
    if (hint == nullptr || hint < begin || hint > end || (hint != begin && (hint - 1)->position >= from)) {
        return LowerBound(from);
    }
    const stTagEntry* first = begin;
    return first + Gallop(static_cast<std::size_t>(hint - first), static_cast<std::size_t>(end - first), from,
                          [first](std::size_t i) { return first[i].position; });
}

std::uint32_t stPairing::LowerBound(std::size_t from, std::uint32_t hint) const {
    const std::uint32_t* data = positions;
    const auto positionOf = [data](std::size_t i) { return data[i]; };
    const bool validHint = hint <= count && (hint == 0 || positions[hint - 1] < from);
    return static_cast<std::uint32_t>(Gallop(validHint ? hint : 0, count, from, positionOf));
}

void CTagIndex::stPairings::Add(std::string_view text, stTagEntries openings, stTagEntries closings,
                                std::vector<std::uint32_t>& scratch) {
    if (starts.empty()) {
        starts.push_back(0);
    }
    const std::size_t first = positions.size();
    const std::size_t count = static_cast<std::size_t>(openings.end - openings.begin) +
                              static_cast<std::size_t>(closings.end - closings.begin);
    positions.resize(first + count);
    ends.resize(first + count);
    // Merge in text order; the balance after each event (closings minus counted openings) is
    // kept, offset by the count so that it stays unsigned, in `ends` for now.
    std::uint32_t balance = static_cast<std::uint32_t>(count);
    const stTagEntry* opening = openings.begin;
    const stTagEntry* closing = closings.begin;
    for (std::size_t i = first; i < first + count; ++i) {
        if (closing != closings.end && (opening == openings.end || closing->position < opening->position)) {
            positions[i] = closing->position;
            ++balance;
            ++closing;
        } else {
            positions[i] = opening->position;
            const bool counted = opening->greater >= text.size() || text[opening->greater - 1] != '/';
            balance -= counted ? 1 : 0;
            ++opening;
        }
        ends[i] = balance;
    }
    // For each start k, the first event after which the balance exceeds the balance before k:
    // the next greater value, found right to left with a stack of (start, balance before it)
    // pairs whose balances rise towards the bottom. A start's balance is read before its own
    // slot is overwritten with its answer.
    scratch.clear();
    for (std::size_t k = count;; --k) {
        const std::uint32_t before = k == 0 ? static_cast<std::uint32_t>(count) : ends[first + k - 1];
        while (!scratch.empty() && scratch.back() <= before) {
            scratch.resize(scratch.size() - 2);
        }
        if (k < count) {
            ends[first + k] = scratch.empty() ? kNoIndex : scratch[scratch.size() - 2] - 1;
        }
        if (k == 0) {
            break;
        }
        scratch.push_back(static_cast<std::uint32_t>(k));
        scratch.push_back(before);
    }
    starts.push_back(static_cast<std::uint32_t>(positions.size()));
}

stPairing CTagIndex::stPairings::Of(std::size_t name) const {
    const std::uint32_t first = starts[name];
    return {positions.data() + first, ends.data() + first, starts[name + 1] - first};
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
    std::vector<stSlot> old;
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

std::uint32_t CTagIndex::CNames::Intern(std::size_t offset, std::size_t length) {
    // Siblings of one name and a leaf's closing tag repeat the name just interned.
    if (length == m_lastLength && m_text.compare(offset, length, m_text.substr(m_lastOffset, length)) == 0) {
        return m_lastId;
    }
    m_lastOffset = offset;
    m_lastLength = length;
    m_lastId = InternNew(offset, length);
    return m_lastId;
}

std::uint32_t CTagIndex::CNames::InternNew(std::size_t offset, std::size_t length) {
    // At most half full, so probing stays short and always ends at an empty slot.
    if (2 * (m_keys.size() + 1) > m_slots.size()) {
        Grow();
    }
    const std::string_view name = m_text.substr(offset, length);
    const std::uint32_t hash = Hash(name);
    stSlot& slot = m_slots[Probe(name, hash)];
    if (slot.id == kNoIndex) {
        slot = {hash, Count()};
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

void CTagIndex::COccurrences::Finish(std::uint32_t names) {
    // Counting sort by name id; occurrences were added in increasing order and stay so.
    m_starts.assign(static_cast<std::size_t>(names) + 1, 0);
    for (std::uint32_t id : m_pendingIds) {
        ++m_starts[id + 1];
    }
    for (std::size_t i = 1; i < m_starts.size(); ++i) {
        m_starts[i] += m_starts[i - 1];
    }
    m_entries.resize(m_pendingEntries.size());
    std::vector<std::uint32_t> next(m_starts.begin(), m_starts.end() - 1);
    for (std::size_t i = 0; i < m_pendingIds.size(); ++i) {
        m_entries[next[m_pendingIds[i]]++] = m_pendingEntries[i];
    }
    std::vector<std::uint32_t>().swap(m_pendingIds);
    std::vector<stTagEntry>().swap(m_pendingEntries);
}

CTagIndex::CTagIndex(std::string_view text) : m_text(text), m_names(text) {
    const std::size_t size = text.size();
    const char* data = text.data();
    // Room for a tag every 16 bytes up front: fewer regrowths (each copies and touches fresh
    // pages); pages reserved and never used cost nothing.
    m_less.Reserve(size / 16);
    m_greater.Reserve(size / 16);
    m_openingNames.reserve(size / 16);
    for (const void* found = std::memchr(data, '>', size); found != nullptr;) {
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(found) - data);
        m_greater.Add(static_cast<std::uint32_t>(at));
        if (at >= 2 && data[at - 1] == ']' && data[at - 2] == ']') {
            m_cdataEnds.Add(static_cast<std::uint32_t>(at - 2));
        }
        found = std::memchr(data + at + 1, '>', size - at - 1);
    }
    // The first ">" at or after a position, the text's size when there is none.
    const auto greaterFrom = [&](std::size_t from) -> std::size_t {
        const std::uint32_t greater = m_greater.Next(from);
        return greater == kNoIndex ? size : greater;
    };
    // Per name id: the openings and closings seen so far.
    std::vector<std::uint32_t> openingsSeen;
    std::vector<std::uint32_t> closingsSeen;
    const auto seen = [&](std::uint32_t id) {
        if (id == openingsSeen.size()) {
            openingsSeen.push_back(0);
            closingsSeen.push_back(0);
        }
    };
    for (const void* found = std::memchr(data, '<', size); found != nullptr;) {
        const std::size_t i = static_cast<std::size_t>(static_cast<const char*>(found) - data);
        found = i + 1 < size ? std::memchr(data + i + 1, '<', size - i - 1) : nullptr;
        const auto position = static_cast<std::uint32_t>(i);
        m_less.Add(position);
        if (i + 1 < size && data[i + 1] == '/') {
            // "</" name ">": the name runs to the first ">".
            const std::size_t end = greaterFrom(i + 2);
            const std::size_t length = end - (i + 2);
            if (end < size && length != 0 && length <= kMaxXMLNameLength) {
                const std::uint32_t id = m_names.Intern(i + 2, length);
                seen(id);
                ++closingsSeen[id];
                m_closings.Add(id, {position, static_cast<std::uint32_t>(end)});
            }
            continue;
        }
        // "<" name " " or "<" name ">": the name runs to the first " " or ">", looked for no
        // further than one byte past the longest name.
        const std::size_t firstGreater = greaterFrom(i + 1);
        const std::size_t limit = std::min(firstGreater, std::min(size, i + 2 + kMaxXMLNameLength));
        const void* space = std::memchr(data + i + 1, ' ', limit - (i + 1));
        const std::size_t end = space != nullptr
                                    ? static_cast<std::size_t>(static_cast<const char*>(space) - data)
                                    : firstGreater;
        const std::size_t length = end - (i + 1);
        if (end < size && length != 0 && length <= kMaxXMLNameLength) {
            const std::uint32_t id = m_names.Intern(i + 1, length);
            m_openings.Add(id, {position, static_cast<std::uint32_t>(firstGreater)});
            seen(id);
            m_openingNames.push_back({position, id, openingsSeen[id]++, closingsSeen[id]});
        }
    }
    m_closings.Finish(m_names.Count());
    m_openings.Finish(m_names.Count());
    std::vector<std::uint32_t> scratch;
    for (std::uint32_t id = 0; id < m_names.Count(); ++id) {
        m_pairings.Add(text, m_openings.Of(id), m_closings.Of(id), scratch);
    }
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

const std::vector<stTagEntry>& CTagIndex::Candidates(std::uint32_t id, std::size_t length, bool closing,
                                                     std::uint64_t hash) {
    static const std::vector<stTagEntry> kNone;
    const std::uint64_t key = (std::uint64_t{id} << 16) | (std::uint64_t{length} << 1) | (closing ? 1u : 0u);
    auto group = m_candidates.find(key);
    if (group == m_candidates.end()) {
        std::unordered_map<std::uint64_t, std::vector<stTagEntry>> byHash;
        const stTagEntries entries = Of(closing ? m_closings : m_openings, id);
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
                std::vector<stTagEntry>& kept = closing ? entries.closings : entries.openings;
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
        std::vector<std::uint32_t> scratch;
        entries.pairings.Add(
            m_text, {entries.openings.data(), entries.openings.data() + entries.openings.size()},
            {entries.closings.data(), entries.closings.data() + entries.closings.size()}, scratch);
        found = m_filtered.emplace(key, std::move(entries)).first;
    }
    const stFilteredName& entries = found->second;
    stTagName result;
    result.closings = {entries.closings.data(), entries.closings.data() + entries.closings.size()};
    result.pairing = entries.pairings.Of(0);
    return result;
}

bool CTagIndex::MayClose(std::string_view name, std::size_t begin, std::size_t end) const {
    const std::uint32_t id = m_names.Lookup(name.substr(0, name.find('>')));
    const stTagEntries closings = Of(m_closings, id);
    const stTagEntry* first = closings.LowerBound(begin);
    return first != closings.end && first->position + name.size() + 3 <= end;
}

stTagName CTagIndex::Find(std::string_view name) {
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

stTagName CTagIndex::FindAt(std::size_t position, std::string_view name, std::uint32_t& hint) {
    const stPlacedName* first = m_openingNames.data();
    const std::size_t count = m_openingNames.size();
    std::size_t low = std::min<std::size_t>(hint, count);
    if (low != 0 && first[low - 1].position >= position) {
        low = 0; // not a hint for this position
    }
    const std::size_t found =
        Gallop(low, count, position, [first](std::size_t i) { return first[i].position; });
    hint = static_cast<std::uint32_t>(found);
    // The indexed name starts at the same byte, so equal lengths mean equal names.
    if (found != count && first[found].position == position &&
        m_names.Length(first[found].id) == name.size()) {
        const stPlacedName& placed = first[found];
        stTagName result;
        result.closings = m_closings.Of(placed.id);
        result.pairing = m_pairings.Of(placed.id);
        result.nextClosing = result.closings.begin + placed.closingsBefore;
        result.selfEvent = placed.openingsBefore + placed.closingsBefore;
        return result;
    }
    return Find(name);
}

} // namespace airvane::xml
