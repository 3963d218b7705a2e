#pragma once

#include "airvane/Export.h"
#include "airvane/security/SecureMethodState.h"

#include <cstddef>
#include <cstdint>

// Link status codes an adapter plug-in writes to CWLANState::m_status.
enum enWLANLinkStatus : std::int32_t {
    WLAN_LINK_ASSOCIATED = 1,
    WLAN_LINK_ASSOCIATING = 2,
    WLAN_LINK_NOT_ASSOCIATED = 3,
    WLAN_LINK_NOT_REPORTED = 4, // the reset value: the adapter wrote nothing
};

// Snapshot of the wireless network as the host reads it. Host and plug-ins, compiled
// separately, read and write the fields directly, so the layout is a binary interface:
// no other members, no virtual functions, fields in exactly this order.
class AIRVANE_API CWLANState {
public:
    static constexpr std::uint32_t kMaxNetworks = 32;
    static constexpr std::size_t kSSIDSlotBytes = 256;
    // m_status after a reset.
    static constexpr std::int32_t kResetStatus = WLAN_LINK_NOT_REPORTED;

    // Reset state: every byte zero, then m_status 4.
    CWLANState();
    // Copies every field; the copy holds its own clone of the state object.
    CWLANState(const CWLANState& other);
    // Releases the held state object, copies every field and clones the source's state object.
    CWLANState& operator=(const CWLANState& other);
    ~CWLANState();

    // Takes ownership of `state` (may be null) after releasing the held object, unless it
    // is the object already held.
    void SetSecureMethodState(IWLANSecureMethodState* state);
    // Releases the held state object and returns to the reset state.
    void Empty();
    // Same count, and every SSID of this record occurs in `other` (order-independent,
    // case-sensitive).
    bool equalSSID(const CWLANState& other) const;
    // As equalSSID, and the quality of the first matching network in `other` is equal.
    bool equalQualitySSID(const CWLANState& other) const;

    std::uint32_t m_count;                     // listed networks, 0 to 32
    char m_ssid[kMaxNetworks][kSSIDSlotBytes]; // zero-terminated SSIDs
    std::int32_t m_quality[kMaxNetworks];      // quality of each listed network
    unsigned char m_pluginData1[256];          // adapter plug-in data, copied only
    std::int32_t m_status;                     // link status code (enWLANLinkStatus)
    unsigned char m_pluginData2[272];          // adapter plug-in data, copied only
    IWLANSecureMethodState* m_secureState;     // owned by the record, or null
    unsigned char m_pluginData3[14356];        // adapter plug-in data, copied only

private:
    bool CompareNetworks(const CWLANState& other, bool compareQuality) const;
    void ZeroFields();
    void CopyFields(const CWLANState& other);
};

// Byte layout shared with the host and plug-ins. With 4-byte pointers these are the
// documented offsets (m_secureState at 8856, total 23216); a pointer only widens its own field.
static_assert(offsetof(CWLANState, m_count) == 0, "CWLANState layout");
static_assert(offsetof(CWLANState, m_ssid) == 4, "CWLANState layout");
static_assert(offsetof(CWLANState, m_quality) == 8196, "CWLANState layout");
static_assert(offsetof(CWLANState, m_pluginData1) == 8324, "CWLANState layout");
static_assert(offsetof(CWLANState, m_status) == 8580, "CWLANState layout");
static_assert(offsetof(CWLANState, m_pluginData2) == 8584, "CWLANState layout");
static_assert(offsetof(CWLANState, m_secureState) == 8856, "CWLANState layout");
static_assert(offsetof(CWLANState, m_pluginData3) == 8856 + sizeof(void*), "CWLANState layout");
static_assert(sizeof(CWLANState) ==
                  (8856 + sizeof(void*) + 14356 + alignof(void*) - 1) / alignof(void*) * alignof(void*),
              "CWLANState layout");
static_assert(sizeof(void*) != 4 || sizeof(CWLANState) == 23216, "CWLANState layout");
