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

const stTagEntry* stTagEntries::LowerBound(std::size_t from) const {
    return std::lower_bound(
        begin, end, from, [](const stTagEntry& entry, std::size_t value) { return entry.position < value; });
}

std::uint32_t CTagIndex::CTable::Hash(std::string_view key) {
    return static_cast<std::uint32_t>(std::hash<std::string_view>()(key));
}

std::size_t CTagIndex::CTable::Probe(std::string_view key, std::uint32_t hash) const {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const stSlot& slot = m_slots[i];
        if (slot.id == kEmptySlot ||
            (slot.hash == hash && m_text.substr(slot.keyOffset, slot.keyLength) == key)) {
            return i;
        }
    }
}

void CTagIndex::CTable::Grow() {
    std::vector<stSlot> old;
    old.swap(m_slots);
    m_slots.assign(old.empty() ? 64 : old.size() * 2, stSlot{0, 0, 0, kEmptySlot});
    const std::size_t mask = m_slots.size() - 1;
    for (const stSlot& slot : old) {
        if (slot.id == kEmptySlot) {
            continue;
        }
        std::size_t i = slot.hash & mask;
        while (m_slots[i].id != kEmptySlot) {
            i = (i + 1) & mask;
        }
        m_slots[i] = slot;
    }
}

void CTagIndex::CTable::Add(std::size_t keyOffset, std::size_t keyLength, stTagEntry entry) {
    // At most half full, so probing stays short and always ends at an empty slot.
    if (2 * (static_cast<std::size_t>(m_names) + 1) > m_slots.size()) {
        Grow();
    }
    const std::string_view key = m_text.substr(keyOffset, keyLength);
    const std::uint32_t hash = Hash(key);
    stSlot& slot = m_slots[Probe(key, hash)];
    if (slot.id == kEmptySlot) {
        slot = {hash, static_cast<std::uint32_t>(keyOffset), static_cast<std::uint32_t>(keyLength),
                m_names++};
    }
    m_pendingIds.push_back(slot.id);
    m_pendingEntries.push_back(entry);
}

void CTagIndex::CTable::Finish() {
    // Counting sort by name id; occurrences were added in increasing order and stay so.
    m_starts.assign(static_cast<std::size_t>(m_names) + 1, 0);
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

stTagEntries CTagIndex::CTable::Find(std::string_view key) const {
    if (m_slots.empty()) {
        return {};
    }
    const stSlot& slot = m_slots[Probe(key, Hash(key))];
    if (slot.id == kEmptySlot) {
        return {};
    }
    return {m_entries.data() + m_starts[slot.id], m_entries.data() + m_starts[slot.id + 1]};
}

CTagIndex::CTagIndex(std::string_view text) : m_text(text), m_closings(text), m_openings(text) {
    const std::size_t size = text.size();
    CForwardFinder greater(text, ">");
    CForwardFinder space(text, " ");
    for (std::size_t i = text.find('<'); i != std::string_view::npos; i = text.find('<', i + 1)) {
        const auto position = static_cast<std::uint32_t>(i);
        if (i + 1 < size && text[i + 1] == '/') {
            // "</" name ">": the name runs to the first ">".
            const std::size_t end = greater.Find(i + 2);
            const std::size_t length = end - (i + 2);
            if (end < size && length != 0 && length <= kMaxXMLNameLength) {
                m_closings.Add(i + 2, length, {position, static_cast<std::uint32_t>(end)});
            }
            continue;
        }
        // "<" name " " or "<" name ">": the name runs to the first " " or ">".
        const std::size_t firstGreater = greater.Find(i + 1);
        const std::size_t end = std::min(firstGreater, space.Find(i + 1));
        const std::size_t length = end - (i + 1);
        if (end < size && length != 0 && length <= kMaxXMLNameLength) {
            m_openings.Add(i + 1, length, {position, static_cast<std::uint32_t>(firstGreater)});
        }
    }
    m_closings.Finish();
    m_openings.Finish();
}

stTagEntries CTagIndex::Filtered(std::map<std::string, std::vector<stTagEntry>>& cache, const CTable& table,
                                 std::string_view name, std::size_t nameOffset, bool closing) {
    const std::string key(name);
    auto found = cache.find(key);
    if (found == cache.end()) {
        std::vector<stTagEntry> entries;
        const stTagEntries candidates = table.Find(name.substr(0, name.find('>')));
        for (const stTagEntry* it = candidates.begin; it != candidates.end; ++it) {
            const std::size_t start = it->position + nameOffset;
            const std::size_t after = start + name.size();
            if (after >= m_text.size() || m_text.compare(start, name.size(), name) != 0) {
                continue;
            }
            const char next = m_text[after];
            if (next == '>' || (!closing && next == ' ')) {
                entries.push_back(*it);
            }
        }
        found = cache.emplace(key, std::move(entries)).first;
    }
    return {found->second.data(), found->second.data() + found->second.size()};
}

stTagEntries CTagIndex::Closings(std::string_view name) {
    if (name.find('>') != std::string_view::npos) {
        return Filtered(m_filteredClosings, m_closings, name, 2, true);
    }
    return m_closings.Find(name);
}

stTagEntries CTagIndex::Openings(std::string_view name) {
    if (name.find('>') != std::string_view::npos) {
        return Filtered(m_filteredOpenings, m_openings, name, 1, false);
    }
    return m_openings.Find(name);
}

} // namespace airvane::xml
