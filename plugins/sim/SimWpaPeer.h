#pragma once

// Private contract between the simulated adapter plug-in and the simulated supplicant
// module (wpa_stub.dll). The library treats the IWpaAdapter pointer that a plug-in hands to
// WPALoadContext as opaque and passes it to WPAContextLoad unchanged; the simulator uses it
// to carry an ISimWpaPeer, the simulated access point the adapter is joining. Both modules
// are built from this tree with the same compiler, so the virtual table is shared.

#include "plugins/WpaPeerLink.h"

#include <cstddef>
#include <cstdint>

namespace airvane::sim {

// Outcome of a 4-way handshake, reported by the supplicant to the peer.
enum enSimHandshakeResult : std::int32_t {
    SIM_HANDSHAKE_COMPLETED = 1, // both sides hold the same pairwise master key
    SIM_HANDSHAKE_FAILED = 2,    // the keys differ (wrong pass phrase or key)
};

constexpr std::uint32_t kSimPMKBytes = 32;

// A WPA-PSK pass phrase holds 8 to 63 characters; the world file, the adapter and the
// supplicant all hold pass phrases to this rule.
constexpr std::size_t kSimMinPassphrase = 8;
constexpr std::size_t kSimMaxPassphrase = 63;

inline bool IsSimPassphraseLength(std::size_t length) {
    return length >= kSimMinPassphrase && length <= kSimMaxPassphrase;
}

// The access point side of a WPA-PSK link, as the simulated supplicant sees it.
class ISimWpaPeer {
public:
    // SSID of the access point.
    virtual const char* GetAccessPointSSID() = 0;
    // Pass phrase the access point was configured with, or null when it uses a raw key.
    virtual const char* GetAccessPointPassphrase() = 0;
    // Writes the access point's raw 256-bit key and returns 1; 0 when it uses a pass phrase.
    virtual int GetAccessPointKey(std::uint8_t key[kSimPMKBytes]) = 0;
    // Called once per handshake with its outcome.
    virtual void OnHandshakeResult(enSimHandshakeResult result) = 0;

protected:
    ISimWpaPeer() = default;
    ISimWpaPeer(const ISimWpaPeer&) = default;
    ISimWpaPeer& operator=(const ISimWpaPeer&) = default;
    ~ISimWpaPeer() = default;
};

// What the opaque pointer points to (WpaPeerLink.h), and the only place where its meaning is
// fixed.
constexpr std::uintptr_t kSimWpaPeerMark = static_cast<std::uintptr_t>(0x53494D5750414C4BULL);
using stSimWpaPeerLink = plugin::stWpaPeerLink<ISimWpaPeer, kSimWpaPeerMark>;

inline IWpaAdapter* ToWpaAdapter(stSimWpaPeerLink* link) {
    return link->AsWpaAdapter();
}

inline ISimWpaPeer* FromWpaAdapter(IWpaAdapter* adapter) {
    return stSimWpaPeerLink::PeerOf(adapter);
}

} // namespace airvane::sim
