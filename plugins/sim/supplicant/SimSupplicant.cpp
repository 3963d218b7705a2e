#include "plugins/sim/supplicant/SimSupplicant.h"

#include "plugins/sim/supplicant/NetworkBlock.h"

#include <cstring>
#include <exception>
#include <new>

namespace airvane::sim {

CSimSupplicant* CSimSupplicant::Create(const char* networkBlock, ISimWpaPeer* peer) noexcept {
    if (peer == nullptr) {
        return nullptr;
    }
    stSimNetworkBlock block;
    if (!ParseNetworkBlock(networkBlock, block, nullptr)) {
        return nullptr;
    }
    CSimSupplicant* supplicant = new (std::nothrow) CSimSupplicant(peer);
    if (supplicant == nullptr) {
        return nullptr;
    }
    try {
        supplicant->m_ssid = block.ssid;
    } catch (const std::exception&) {
        delete supplicant;
        return nullptr;
    }
    bool derived = true;
    if (block.hasKey) {
        std::memcpy(supplicant->m_pmk, block.key, kPMKLength);
    } else {
        derived = DerivePMK(block.passphrase.data(), block.passphrase.size(),
                            reinterpret_cast<const std::uint8_t*>(block.ssid.data()), block.ssid.size(),
                            supplicant->m_pmk);
    }
    if (!derived) {
        delete supplicant;
        return nullptr;
    }
    return supplicant;
}

CSimSupplicant::CSimSupplicant(ISimWpaPeer* peer)
    : m_peer(peer), m_pmk{}, m_state(STATE_DISCONNECTED), m_negotiationRequested(false), m_failures(0) {}

CSimSupplicant::~CSimSupplicant() {
    WipeSecret(m_pmk, sizeof m_pmk);
}

void CSimSupplicant::Command(std::int32_t command) {
    switch (command) {
    case COMMAND_START:
        m_state = STATE_SCANNING;
        m_negotiationRequested = false;
        break;
    case COMMAND_ASSOCIATED:
        m_state = STATE_ASSOCIATING;
        m_negotiationRequested = false;
        break;
    case COMMAND_KEY_NEGOTIATION:
        if (m_state == STATE_ASSOCIATING) {
            m_negotiationRequested = true;
        }
        break;
    case COMMAND_DISASSOCIATED:
        m_state = STATE_DISCONNECTED;
        m_negotiationRequested = false;
        break;
    default:
        break;
    }
}

std::int32_t CSimSupplicant::GetState() {
    return m_state;
}

void CSimSupplicant::Run() {
    switch (m_state) {
    case STATE_ASSOCIATING:
        if (m_negotiationRequested) {
            m_negotiationRequested = false;
            m_state = STATE_PAIRWISE_HANDSHAKE;
        }
        break;
    case STATE_PAIRWISE_HANDSHAKE:
        RunPairwiseHandshake();
        break;
    case STATE_GROUP_HANDSHAKE:
        m_state = STATE_COMPLETED;
        m_peer->OnHandshakeResult(SIM_HANDSHAKE_COMPLETED);
        break;
    default:
        break;
    }
}

bool CSimSupplicant::AccessPointPMK(std::uint8_t pmk[kPMKLength]) const {
    if (m_peer->GetAccessPointKey(pmk) != 0) {
        return true;
    }
    const char* passphrase = m_peer->GetAccessPointPassphrase();
    const char* ssid = m_peer->GetAccessPointSSID();
    if (passphrase == nullptr || ssid == nullptr) {
        return false;
    }
    return DerivePMK(passphrase, std::strlen(passphrase), reinterpret_cast<const std::uint8_t*>(ssid),
                     std::strlen(ssid), pmk);
}

void CSimSupplicant::RunPairwiseHandshake() {
    std::uint8_t accessPointPMK[kPMKLength] = {};
    const bool match = AccessPointPMK(accessPointPMK) && SecretsEqual(accessPointPMK, m_pmk, kPMKLength);
    WipeSecret(accessPointPMK, sizeof accessPointPMK);
    if (match) {
        m_state = STATE_GROUP_HANDSHAKE;
        return;
    }
    m_state = STATE_DISCONNECTED;
    ++m_failures;
    m_peer->OnHandshakeResult(SIM_HANDSHAKE_FAILED);
}

} // namespace airvane::sim
