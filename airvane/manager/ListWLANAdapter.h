#pragma once

#include "airvane/Export.h"

#include <cstddef>
#include <cstdint>

// The usable adapters as the host reads them after a listing: a flat record of up to 32
// entries, shared by layout with the host (no other members, no virtual functions, fields
// in exactly this order). Entry i of every array belongs together; only the first
// adapterCount entries are meaningful and the rest keep whatever they held.
struct AIRVANE_API stListWLANAdapter {
    static constexpr std::uint32_t kMaxAdapters = 32;
    static constexpr std::size_t kNameBytes = 256; // zero-terminated, at most 255 bytes of text
    static constexpr std::size_t kInfoBytes = 255;

    // Sets adapterCount to 0 and nothing else.
    stListWLANAdapter();
    // Copies the whole record, all 32 entries, whatever the count.
    stListWLANAdapter(const stListWLANAdapter& other);
    stListWLANAdapter& operator=(const stListWLANAdapter& other);

    // Same count, and every name among this record's valid entries is among the valid
    // names of `other` (order-independent; friendly names and info blocks are not compared).
    bool operator==(const stListWLANAdapter& other) const;
    bool operator!=(const stListWLANAdapter& other) const;

    std::uint32_t adapterCount;                          // number of valid entries
    char adapterName[kMaxAdapters][kNameBytes];          // name to select the adapter by
    char friendlyName[kMaxAdapters][kNameBytes];         // display name
    unsigned char adapterInfo[kMaxAdapters][kInfoBytes]; // adapter's information block
    std::uint32_t adapterInfoLength[kMaxAdapters];       // length reported with the block

private:
    void CopyEntries(const stListWLANAdapter& other);
};

static_assert(offsetof(stListWLANAdapter, adapterCount) == 0, "stListWLANAdapter layout");
static_assert(offsetof(stListWLANAdapter, adapterName) == 4, "stListWLANAdapter layout");
static_assert(offsetof(stListWLANAdapter, friendlyName) == 8196, "stListWLANAdapter layout");
static_assert(offsetof(stListWLANAdapter, adapterInfo) == 16388, "stListWLANAdapter layout");
static_assert(offsetof(stListWLANAdapter, adapterInfoLength) == 24548, "stListWLANAdapter layout");
static_assert(sizeof(stListWLANAdapter) == 24676, "stListWLANAdapter layout");
