#pragma once

#include "airvane/security/WPAStubContext.h"
#include "plugins/sim/SimWpaPeer.h"
#include "plugins/sim/supplicant/PassphraseKey.h"

#include <cstdint>
#include <string>

namespace airvane::sim {

// Supplicant context of the simulated supplicant module. It holds the pairwise master key
// derived from the network block and walks this state machine:
//
//     state                 entered by
//     1 disconnected        loading; command 1 (link lost); a failed 4-way handshake
//     2 scanning            command 4 (start, sent with the first run), from any state
//     3 associating         command 3 (associated with the access point), from any state
//     4 4-way handshake     Run in state 3 once command 0 (start key negotiation) arrived there
//     5 group handshake     Run in state 4 when the access point holds the same master key
//     6 completed           Run in state 5
//
// Run takes at most one step. In state 4 it compares the master key with the access
// point's: a different key ends the handshake in state 1 (reported to the peer as failed),
// so a wrong key never reaches state 6. Other commands, and command 0 outside state 3, are
// ignored.
class CSimSupplicant final : public IWPAStubContext {
public:
    enum enState : std::int32_t {
        STATE_DISCONNECTED = 1,
        STATE_SCANNING = 2,
        STATE_ASSOCIATING = 3,
        STATE_PAIRWISE_HANDSHAKE = 4,
        STATE_GROUP_HANDSHAKE = 5,
        STATE_COMPLETED = 6,
    };

    enum enCommand : std::int32_t {
        COMMAND_KEY_NEGOTIATION = 0,
        COMMAND_DISASSOCIATED = 1,
        COMMAND_ASSOCIATED = 3,
        COMMAND_START = 4,
    };

    // Parses the network block and derives its master key; null when the block is
    // malformed, the peer is null or memory runs out.
    static CSimSupplicant* Create(const char* networkBlock, ISimWpaPeer* peer) noexcept;

    CSimSupplicant(const CSimSupplicant&) = delete;
    CSimSupplicant& operator=(const CSimSupplicant&) = delete;
    // Wipes the master key.
    ~CSimSupplicant();

    // The first four slots belong to the supplicant; the library never calls them.
    void Reserved1() override {}
    void Reserved2() override {}
    void Reserved3() override {}
    void Reserved4() override {}
    void Command(std::int32_t command) override;
    std::int32_t GetState() override;
    void Run() override;

    const std::string& GetSSID() const { return m_ssid; }
    // Handshakes that ended with a key mismatch.
    std::uint32_t GetFailureCount() const { return m_failures; }

private:
    explicit CSimSupplicant(ISimWpaPeer* peer);
    // The access point's master key, from its raw key or its pass phrase and SSID.
    bool AccessPointPMK(std::uint8_t pmk[kPMKLength]) const;
    void RunPairwiseHandshake();

    ISimWpaPeer* m_peer;
    std::string m_ssid;
    std::uint8_t m_pmk[kPMKLength];
    enState m_state;
    bool m_negotiationRequested;
    std::uint32_t m_failures;
};

} // namespace airvane::sim
