#include "airvane/xml/XMLTagIndex.h"

#include <algorithm>
#include <functional>

namespace airvane::xml {

void CForwardFinder::Reset(std::string_view needle) {
    m_needle = needle;
    m_from = std::string_view::npos;
    m_found = 0;
}

std::size_t CForwardFinder::Find(std::size_t from) {
    if (from > m_text.size()) {
        from = m_text.size();
    }
    // No occurrence lies in [m_from, m_found), so the remembered answer holds for any start
    // in between.
    if (m_from != std::string_view::npos && from >= m_from && from <= m_found) {
        return m_found;
    }
    const std::size_t found = m_text.find(m_needle, from);
    m_from = from;
    m_found = found == std::string_view::npos ? m_text.size() : found;
    return m_found;
}

namespace {

// First entry at or after `from` in [low, end), found by doubling steps from `low`; every
// entry before `low` must lie before `from`.
template <typename Entry>
const Entry* GallopLowerBound(const Entry* low, const Entry* end, std::size_t from) {
    for (std::size_t step = 1;; step *= 2) {
        if (low == end || low->position >= from) {
            return low;
        }
        const Entry* high = low + 1 + std::min(step, static_cast<std::size_t>(end - low - 1));
        if (high == end || high->position >= from) {
            return std::lower_bound(low + 1, high, from, [](const Entry& entry, std::size_t value) {
                return entry.position < value;
            });
        }
        low = high;
    }
}

} // namespace

const stTagEntry* stTagEntries::LowerBound(std::size_t from) const {
    return std::lower_bound(
        begin, end, from, [](const stTagEntry& entry, std::size_t value) { return entry.position < value; });
}

const stTagEntry* stTagEntries::LowerBound(std::size_t from, const stTagEntry* hint) const {
    if (hint == nullptr || hint < begin || hint > end || (hint != begin && (hint - 1)->position >= from)) {
        return LowerBound(from);
    }
    return GallopLowerBound(hint, end, from);
}

std::uint32_t CTagIndex::CNames::Hash(std::string_view name) {
    return static_cast<std::uint32_t>(std::hash<std::string_view>()(name));
}

std::size_t CTagIndex::CNames::Probe(std::string_view name, std::uint32_t hash) const {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const stSlot& slot = m_slots[i];
        if (slot.id == kNone) {
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
    m_slots.assign(old.empty() ? 64 : old.size() * 2, stSlot{0, kNone});
    const std::size_t mask = m_slots.size() - 1;
    for (const stSlot& slot : old) {
        if (slot.id == kNone) {
            continue;
        }
        std::size_t i = slot.hash & mask;
        while (m_slots[i].id != kNone) {
            i = (i + 1) & mask;
        }
        m_slots[i] = slot;
    }
}

std::uint32_t CTagIndex::CNames::Intern(std::size_t offset, std::size_t length) {
    // At most half full, so probing stays short and always ends at an empty slot.
    if (2 * (m_keys.size() + 1) > m_slots.size()) {
        Grow();
    }
    const std::string_view name = m_text.substr(offset, length);
    const std::uint32_t hash = Hash(name);
    stSlot& slot = m_slots[Probe(name, hash)];
    if (slot.id == kNone) {
        slot = {hash, Count()};
        m_keys.push_back({static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length)});
    }
    return slot.id;
}

std::uint32_t CTagIndex::CNames::Lookup(std::string_view name) const {
    if (m_slots.empty()) {
        return kNone;
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
    CForwardFinder greater(text, ">");
    CForwardFinder space(text, " ");
    // Per name id: the openings and closings seen so far.
    std::vector<std::uint32_t> openingsSeen;
    std::vector<std::uint32_t> closingsSeen;
    const auto seen = [&](std::uint32_t id) {
        if (id == openingsSeen.size()) {
            openingsSeen.push_back(0);
            closingsSeen.push_back(0);
        }
    };
    for (std::size_t i = text.find('<'); i != std::string_view::npos; i = text.find('<', i + 1)) {
        const auto position = static_cast<std::uint32_t>(i);
        if (i + 1 < size && text[i + 1] == '/') {
            // "</" name ">": the name runs to the first ">".
            const std::size_t end = greater.Find(i + 2);
            const std::size_t length = end - (i + 2);
            if (end < size && length != 0 && length <= kMaxXMLNameLength) {
                const std::uint32_t id = m_names.Intern(i + 2, length);
                seen(id);
                ++closingsSeen[id];
                m_closings.Add(id, {position, static_cast<std::uint32_t>(end)});
            }
            continue;
        }
        // "<" name " " or "<" name ">": the name runs to the first " " or ">".
        const std::size_t firstGreater = greater.Find(i + 1);
        const std::size_t end = std::min(firstGreater, space.Find(i + 1));
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
}

stTagEntries CTagIndex::Of(const COccurrences& occurrences, std::uint32_t id) const {
    return id == CNames::kNone ? stTagEntries{} : occurrences.Of(id);
}

void CTagIndex::Filter(std::uint32_t id, std::string_view name, bool closing,
                       std::vector<stTagEntry>& kept) const {
    const std::size_t nameOffset = closing ? 2 : 1;
    const stTagEntries candidates = Of(closing ? m_closings : m_openings, id);
    for (const stTagEntry* it = candidates.begin; it != candidates.end; ++it) {
        const std::size_t start = it->position + nameOffset;
        const std::size_t after = start + name.size();
        if (after >= m_text.size() || m_text.compare(start, name.size(), name) != 0) {
            continue;
        }
        const char next = m_text[after];
        if (next == '>' || (!closing && next == ' ')) {
            kept.push_back(*it);
        }
    }
}

stTagName CTagIndex::Filtered(std::string_view name) {
    const std::string key(name);
    auto found = m_filtered.find(key);
    if (found == m_filtered.end()) {
        stFilteredName entries;
        const std::uint32_t id = m_names.Lookup(name.substr(0, name.find('>')));
        Filter(id, name, false, entries.openings);
        Filter(id, name, true, entries.closings);
        found = m_filtered.emplace(key, std::move(entries)).first;
    }
    const stFilteredName& entries = found->second;
    return {{entries.openings.data(), entries.openings.data() + entries.openings.size()},
            {entries.closings.data(), entries.closings.data() + entries.closings.size()}};
}

stTagName CTagIndex::Find(std::string_view name) {
    if (name.find('>') != std::string_view::npos) {
        return Filtered(name);
    }
    const std::uint32_t id = m_names.Lookup(name);
    return {Of(m_openings, id), Of(m_closings, id)};
}

stTagName CTagIndex::FindAt(std::size_t position, std::string_view name, std::size_t& hint) {
    const stPlacedName* first = m_openingNames.data();
    const stPlacedName* end = first + m_openingNames.size();
    const stPlacedName* low = first + std::min(hint, m_openingNames.size());
    if (low != first && (low - 1)->position >= position) {
        low = first; // not a hint for this position
    }
    const stPlacedName* found = GallopLowerBound(low, end, position);
    hint = static_cast<std::size_t>(found - first);
    // The indexed name starts at the same byte, so equal lengths mean equal names.
    if (found != end && found->position == position && m_names.Length(found->id) == name.size()) {
        stTagName occurrences{m_openings.Of(found->id), m_closings.Of(found->id)};
        occurrences.self = occurrences.openings.begin + found->openingsBefore;
        occurrences.nextClosing = occurrences.closings.begin + found->closingsBefore;
        return occurrences;
    }
    return Find(name);
}

} // namespace airvane::xml
