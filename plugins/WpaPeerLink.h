#pragma once

// What an adapter plug-in hands its supplicant module as the opaque IWpaAdapter pointer (the
// library passes it from WPALoadContext to WPAContextLoad unchanged): a mark naming the two
// modules' private contract, then the peer. Both bundled supplicant modules are named
// wpa_stub.dll, so a folder may pair one with another plug-in's adapter; that adapter's pointer
// carries no such mark, and the supplicant refuses the network instead of calling into an object
// it does not know. The mark is one pointer word, so reading it stays within any object an
// adapter could hand over.

#include <cstdint>
#include <cstring>

class IWpaAdapter;

namespace airvane::plugin {

template <class Peer, std::uintptr_t Mark> struct stWpaPeerLink {
    std::uintptr_t mark;
    Peer* peer;

    IWpaAdapter* AsWpaAdapter() { return reinterpret_cast<IWpaAdapter*>(this); }

    // The peer behind `adapter`; null for a null pointer or one that is not such a link.
    static Peer* PeerOf(IWpaAdapter* adapter) {
        if (adapter == nullptr) {
            return nullptr;
        }
        std::uintptr_t found = 0;
        std::memcpy(&found, adapter, sizeof(found));
        return found == Mark ? reinterpret_cast<stWpaPeerLink*>(adapter)->peer : nullptr;
    }
};

} // namespace airvane::plugin
