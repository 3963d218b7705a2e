#include "airvane/security/WLANState.h"

#include <cstring>

CWLANState::CWLANState() {
    ZeroFields();
}

CWLANState::CWLANState(const CWLANState& other) {
    CopyFields(other);
    m_secureState = other.m_secureState != nullptr ? other.m_secureState->Clone() : nullptr;
}

CWLANState& CWLANState::operator=(const CWLANState& other) {
    if (this == &other) {
        return *this;
    }
    // Each record owns a distinct object, so ours can be released whatever the source holds.
    IWLANSecureMethodState* const copy =
        other.m_secureState != nullptr ? other.m_secureState->Clone() : nullptr;
    delete m_secureState;
    CopyFields(other);
    m_secureState = copy;
    return *this;
}

CWLANState::~CWLANState() {
    delete m_secureState;
}

void CWLANState::SetSecureMethodState(IWLANSecureMethodState* state) {
    if (state == m_secureState) {
        return;
    }
    delete m_secureState;
    m_secureState = state;
}

void CWLANState::Empty() {
    delete m_secureState;
    ZeroFields();
}

bool CWLANState::equalSSID(const CWLANState& other) const {
    return CompareNetworks(other, false);
}

bool CWLANState::equalQualitySSID(const CWLANState& other) const {
    return CompareNetworks(other, true);
}

bool CWLANState::CompareNetworks(const CWLANState& other, bool compareQuality) const {
    if (m_count != other.m_count) {
        return false;
    }
    // A count written beyond the table by a plug-in is bounded by the table.
    const std::uint32_t count = m_count < kMaxNetworks ? m_count : kMaxNetworks;
    for (std::uint32_t i = 0; i < count; ++i) {
        bool found = false;
        for (std::uint32_t j = 0; j < count; ++j) {
            // Bounded: a slot that fills all 256 bytes has no terminator of its own.
            if (std::strncmp(m_ssid[i], other.m_ssid[j], kSSIDSlotBytes) == 0) {
                if (compareQuality && other.m_quality[j] != m_quality[i]) {
                    return false;
                }
                found = true;
                break;
            }
        }
        if (!found) {
            return false;
        }
    }
    return true;
}

void CWLANState::ZeroFields() {
    m_count = 0;
    std::memset(m_ssid, 0, sizeof(m_ssid));
    std::memset(m_quality, 0, sizeof(m_quality));
    std::memset(m_pluginData1, 0, sizeof(m_pluginData1));
    m_status = kResetStatus;
    std::memset(m_pluginData2, 0, sizeof(m_pluginData2));
    m_secureState = nullptr;
    std::memset(m_pluginData3, 0, sizeof(m_pluginData3));
}

// Copies every field except the state object, which the callers handle.
void CWLANState::CopyFields(const CWLANState& other) {
    m_count = other.m_count;
    std::memcpy(m_ssid, other.m_ssid, sizeof(m_ssid));
    std::memcpy(m_quality, other.m_quality, sizeof(m_quality));
    std::memcpy(m_pluginData1, other.m_pluginData1, sizeof(m_pluginData1));
    m_status = other.m_status;
    std::memcpy(m_pluginData2, other.m_pluginData2, sizeof(m_pluginData2));
    m_secureState = nullptr;
    std::memcpy(m_pluginData3, other.m_pluginData3, sizeof(m_pluginData3));
}
