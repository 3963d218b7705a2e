#pragma once

// Private contract between the Linux adapter plug-in and its supplicant module
// (wpa_stub.dll). The library hands the opaque IWpaAdapter pointer of WPALoadContext to
// WPAContextLoad unchanged; here it carries an ILinuxWpaPeer: the interface whose
// wpa_supplicant the module talks to, and where it reports a failed handshake. Both modules
// are built from this tree with the same compiler, so the virtual table is shared.

#include <cstdint>
#include <cstring>

class IWpaAdapter;

namespace airvane::linux_wlan {

class ILinuxWpaPeer {
public:
    // Name of the network interface, e.g. "wlan0".
    virtual const char* GetInterfaceName() = 0;
    // Folder holding wpa_supplicant's control sockets.
    virtual const char* GetControlDir() = 0;
    // The network was rejected for a wrong key or pass phrase.
    virtual void OnHandshakeFailed() = 0;

protected:
    ILinuxWpaPeer() = default;
    ILinuxWpaPeer(const ILinuxWpaPeer&) = default;
    ILinuxWpaPeer& operator=(const ILinuxWpaPeer&) = default;
    ~ILinuxWpaPeer() = default;
};

// What the opaque pointer points to: a mark naming this contract, then the peer. Another
// adapter's pointer (a folder that pairs this supplicant with another plug-in's adapter: both
// supplicant modules are named wpa_stub.dll) carries no such mark, and the supplicant refuses
// the network instead of calling into an object it does not know. The mark is one pointer
// word, so it is read within any object an adapter could hand over.
struct stLinuxWpaPeerLink {
    std::uintptr_t mark;
    ILinuxWpaPeer* peer;
};

constexpr std::uintptr_t kLinuxWpaPeerMark = static_cast<std::uintptr_t>(0x4C4E58575041504BULL);

// The only place where the opaque pointer's meaning is fixed.
inline IWpaAdapter* ToWpaAdapter(stLinuxWpaPeerLink* link) {
    return reinterpret_cast<IWpaAdapter*>(link);
}

// The peer a link carries; null for a null pointer or one that is not a link.
inline ILinuxWpaPeer* FromWpaAdapter(IWpaAdapter* adapter) {
    if (adapter == nullptr) {
        return nullptr;
    }
    std::uintptr_t mark = 0;
    std::memcpy(&mark, adapter, sizeof(mark));
    return mark == kLinuxWpaPeerMark ? reinterpret_cast<stLinuxWpaPeerLink*>(adapter)->peer : nullptr;
}

} // namespace airvane::linux_wlan
