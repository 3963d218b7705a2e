#pragma once

// Private contract between the Linux adapter plug-in and its supplicant module
// (wpa_stub.dll). The library hands the opaque IWpaAdapter pointer of WPALoadContext to
// WPAContextLoad unchanged; here it carries an ILinuxWpaPeer: the interface whose
// wpa_supplicant the module talks to, and where it reports a failed handshake. Both modules
// are built from this tree with the same compiler, so the virtual table is shared.

#include "plugins/WpaPeerLink.h"

#include <cstdint>

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

// What the opaque pointer points to (WpaPeerLink.h), and the only place where its meaning is
// fixed.
constexpr std::uintptr_t kLinuxWpaPeerMark = static_cast<std::uintptr_t>(0x4C4E58575041504BULL);
using stLinuxWpaPeerLink = plugin::stWpaPeerLink<ILinuxWpaPeer, kLinuxWpaPeerMark>;

inline IWpaAdapter* ToWpaAdapter(stLinuxWpaPeerLink* link) {
    return link->AsWpaAdapter();
}

inline ILinuxWpaPeer* FromWpaAdapter(IWpaAdapter* adapter) {
    return stLinuxWpaPeerLink::PeerOf(adapter);
}

} // namespace airvane::linux_wlan
