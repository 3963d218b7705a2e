// Entry point of the simulated adapter plug-in (sim_adapter.dll).

#include "airvane/Export.h"
#include "airvane/manager/WLANAdapter.h"
#include "plugins/sim/adapter/SimAdapter.h"
#include "plugins/sim/adapter/SimWorld.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

using airvane::sim::CSimAdapter;

// Prefix of the messages about DEVICE elements the plug-in declines. The library does not
// trace a declined device, so the plug-in says why on standard error.
constexpr const char* kDeclinedMessage = "sim_adapter.dll: DEVICE declined: ";

// Every adapter the plug-in made. They live until the process ends, as the library expects
// of plug-in objects.
struct stSimAdapterStore {
    std::vector<std::unique_ptr<CSimAdapter>> adapters;
    std::vector<CSimAdapter*> hotPlugged; // handed out by discovery only
    std::size_t discoveryCursor = 0;
};

// Never destroyed: at exit the library's manager may outlive this module's static objects, and a
// host's exit handler may still reach the adapters through it.
stSimAdapterStore& Store() {
    static stSimAdapterStore* const store = new stSimAdapterStore;
    return *store;
}

// Discovery: one hot-plugged adapter per call, then null, which also rewinds the sequence
// so that the next listing with discovery sees every device again.
IWLANAdapter* NextDiscoveredAdapter() {
    stSimAdapterStore& store = Store();
    if (store.discoveryCursor >= store.hotPlugged.size()) {
        store.discoveryCursor = 0;
        return nullptr;
    }
    return store.hotPlugged[store.discoveryCursor++];
}

IWLANAdapter* AdapterForDevice(stXMLNode* device) {
    airvane::sim::stSimAdapterConfig config;
    std::string error;
    if (!airvane::sim::ParseSimDevice(device, config, error)) {
        std::fprintf(stderr, "%s%s\n", kDeclinedMessage, error.c_str());
        return nullptr;
    }
    std::unique_ptr<CSimAdapter> adapter(new (std::nothrow) CSimAdapter(config));
    if (adapter == nullptr) {
        return nullptr;
    }
    stSimAdapterStore& store = Store();
    const bool hotPlugged = adapter->IsHotPlugged();
    if (hotPlugged) {
        store.hotPlugged.reserve(store.hotPlugged.size() + 1);
    }
    store.adapters.push_back(std::move(adapter));
    CSimAdapter* added = store.adapters.back().get();
    if (hotPlugged) {
        store.hotPlugged.push_back(added); // cannot throw: room was reserved above
        return nullptr;
    }
    return added;
}

} // namespace

// With a DEVICE element: the adapter it describes (a hot-plugged device is kept back for
// discovery and declined here). With null: the next hot-plugged adapter, or null.
AIRVANE_PLUGIN_EXPORT IWLANAdapter* WLAN_GetAdapter(stXMLNode* device) {
    try {
        return device == nullptr ? NextDiscoveredAdapter() : AdapterForDevice(device);
    } catch (const std::exception&) {
        return nullptr;
    }
}
