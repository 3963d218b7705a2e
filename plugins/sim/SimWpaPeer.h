#pragma once

// Private contract between the simulated adapter plug-in and the simulated supplicant
// module (wpa_stub.dll). The library treats the IWpaAdapter pointer that a plug-in hands to
// WPALoadContext as opaque and passes it to WPAContextLoad unchanged; the simulator uses it
// to carry an ISimWpaPeer, the simulated access point the adapter is joining. Both modules
// are built from this tree with the same compiler, so the virtual table is shared.

#include <cstddef>
#include <cstdint>
#include <cstring>

class IWpaAdapter;

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

// What the opaque pointer points to: a mark naming this contract, then the peer. Another
// adapter's pointer (a folder that pairs this supplicant with another plug-in's adapter: both
// supplicant modules are named wpa_stub.dll) carries no such mark, and the supplicant refuses
// the network instead of calling into an object it does not know. The mark is one pointer
// word, so it is read within any object an adapter could hand over.
struct stSimWpaPeerLink {
    std::uintptr_t mark;
    ISimWpaPeer* peer;
};

constexpr std::uintptr_t kSimWpaPeerMark = static_cast<std::uintptr_t>(0x53494D5750414C4BULL);

// The opaque pointer travels through the library untouched; these two conversions are the
// only place where its meaning is fixed.
inline IWpaAdapter* ToWpaAdapter(stSimWpaPeerLink* link) {
    return reinterpret_cast<IWpaAdapter*>(link);
}

// The peer a link carries; null for a null pointer or one that is not a link.
inline ISimWpaPeer* FromWpaAdapter(IWpaAdapter* adapter) {
    if (adapter == nullptr) {
        return nullptr;
    }
    std::uintptr_t mark = 0;
    std::memcpy(&mark, adapter, sizeof(mark));
    return mark == kSimWpaPeerMark ? reinterpret_cast<stSimWpaPeerLink*>(adapter)->peer : nullptr;
}

} // namespace airvane::sim
