#pragma once

#include "airvane/Export.h"

#include <cstddef>
#include <cstdint>

// The host application's access-mode data, read by layout. The host owns and fills these
// records; the library reads the entries of one list and nothing else.
//
// Word sizes: a word that holds a pointer is a native pointer, a word that holds an
// integer stays 32-bit. The header words that the library never reads are typed as the
// host lays them out: one pointer (the object's own header, for instance a dispatch table)
// followed by 32-bit integers, so that a 32-bit build has exactly five 32-bit words in the
// head of CGestionModeAcces and in every AccessModeList.

// Access mode index of the wireless entries ("Wifi" in the host's mode table).
inline constexpr std::int32_t kAccessModeWifi = 7;

// One entry of an access-mode list: eight fields. Text fields point at zero-terminated
// single-byte text (null is read as empty).
struct AccessModeEntry {
    const char* kitName;     // copied to the KITNAME attribute
    const char* hardwareId;  // copied to the HARDWAREID attribute
    std::int32_t field2;     // not read
    const char* driverList;  // pairs of module name and OSCODE list, joined by '"'
    const char* field4;      // not read
    std::int32_t accessMode; // only entries of mode kAccessModeWifi are used
    const char* field6;      // not read
    const char* field7;      // not read
};

// One list of entries: five words.
struct AccessModeList {
    void* header;             // the list object's own header; not read
    AccessModeEntry* entries; // first entry; the others follow without gaps
    std::int32_t count;       // number of entries; less than 1 means empty
    std::int32_t capacity;    // not read
    std::int32_t growBy;      // not read
};

// The host's access-mode object: a head of five words, then one list per access mode index.
class AIRVANE_API CGestionModeAcces {
public:
    static constexpr std::int32_t kAccessModeListCount = 8;

    // Address of list number `index` (head plus one list per preceding index); null for
    // -1 and for any index outside the lists this object has. Reads nothing.
    AccessModeList* GetAccessModeList(std::int32_t index);

    void* m_header;                               // not read
    std::int32_t m_headerWords[4];                // not read
    AccessModeList m_lists[kAccessModeListCount]; // list of each access mode index
};

// Layout guards, written so that a 32-bit build has the documented word positions.
static_assert(offsetof(AccessModeEntry, kitName) == 0, "AccessModeEntry layout");
static_assert(offsetof(AccessModeEntry, hardwareId) == sizeof(void*), "AccessModeEntry layout");
static_assert(offsetof(AccessModeEntry, field2) == 2 * sizeof(void*), "AccessModeEntry layout");
static_assert(offsetof(AccessModeEntry, driverList) == 3 * sizeof(void*), "AccessModeEntry layout");
static_assert(offsetof(AccessModeEntry, accessMode) == 5 * sizeof(void*), "AccessModeEntry layout");
static_assert(offsetof(AccessModeEntry, field7) == 7 * sizeof(void*), "AccessModeEntry layout");
static_assert(sizeof(AccessModeEntry) == 8 * sizeof(void*), "AccessModeEntry layout");

static_assert(offsetof(AccessModeList, entries) == sizeof(void*), "AccessModeList layout");
static_assert(offsetof(AccessModeList, count) == 2 * sizeof(void*), "AccessModeList layout");
static_assert(sizeof(void*) != 4 || sizeof(AccessModeList) == 5 * 4, "AccessModeList layout");

static_assert(offsetof(CGestionModeAcces, m_lists) == sizeof(void*) + 4 * sizeof(std::int32_t),
              "CGestionModeAcces layout");
static_assert(sizeof(void*) != 4 || offsetof(CGestionModeAcces, m_lists) == 5 * 4,
              "CGestionModeAcces layout");
static_assert(sizeof(void*) != 4 ||
                  sizeof(CGestionModeAcces) == 5 * 4 + CGestionModeAcces::kAccessModeListCount * 5 * 4,
              "CGestionModeAcces layout");
