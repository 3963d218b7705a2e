// Entry point of the Linux adapter plug-in (nl80211_adapter.dll).

#include "airvane/Export.h"
#include "airvane/manager/WLANAdapter.h"
#include "plugins/linux/adapter/DeviceOptions.h"
#include "plugins/linux/adapter/LinuxAdapter.h"
#include "plugins/linux/adapter/Nl80211.h"

#include <linux/nl80211.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

using airvane::linux_wlan::CLinuxAdapter;

// The library does not trace a declined device, so the plug-in says why on standard error.
constexpr const char kDeclinedMessage[] = "nl80211_adapter.dll: DEVICE declined: ";

// Every adapter handed out. They are never destroyed: the library keeps using them until
// the process ends, and a link they set up is wpa_supplicant's and outlives the process.
std::vector<CLinuxAdapter*>& Adapters() {
    static auto* adapters = new std::vector<CLinuxAdapter*>();
    return *adapters;
}

CLinuxAdapter* Keep(std::unique_ptr<CLinuxAdapter> adapter) {
    Adapters().push_back(adapter.get());
    return adapter.release();
}

IWLANAdapter* AdapterForDevice(stXMLNode* device) {
    airvane::linux_wlan::stDeviceOptions options;
    std::string error;
    if (!airvane::linux_wlan::ParseDeviceOptions(device, options, error)) {
        std::fprintf(stderr, "%s%s\n", kDeclinedMessage, error.c_str());
        return nullptr;
    }
    return Keep(std::make_unique<CLinuxAdapter>(options));
}

// Discovery: the first station interface that no adapter serves yet, or null.
IWLANAdapter* NextDiscoveredAdapter() {
    airvane::linux_wlan::CNl80211 nl;
    for (const airvane::linux_wlan::stWirelessInterface& found : nl.ListInterfaces()) {
        if (found.type != NL80211_IFTYPE_STATION) {
            continue;
        }
        bool served = false;
        for (const CLinuxAdapter* adapter : Adapters()) {
            served = served || adapter->Serves(found.name);
        }
        if (!served) {
            airvane::linux_wlan::stDeviceOptions options;
            options.interfaceName = found.name;
            options.controlDir = airvane::linux_wlan::kDefaultControlDir;
            return Keep(std::make_unique<CLinuxAdapter>(options));
        }
    }
    return nullptr;
}

} // namespace

// With a DEVICE element: the adapter for the interface its LINUXWLAN child names (null when
// the element is invalid). With null: the next wireless station interface not handed out
// yet, or null when every one is.
AIRVANE_PLUGIN_EXPORT IWLANAdapter* WLAN_GetAdapter(stXMLNode* device) {
    try {
        return device == nullptr ? NextDiscoveredAdapter() : AdapterForDevice(device);
    } catch (const std::exception&) {
        return nullptr;
    }
}
