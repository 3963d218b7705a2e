// A minimal host: builds the adapter manager from WLANInterfaces.xml in the current
// directory, prints the manager's trace lines, lists the usable adapters, and optionally
// selects one and joins an open network with it.
//
//   airvane_example_host [--discover] [ADAPTER [SSID]]

#include <airvane/Airvane.h>

#include <cstdio>
#include <cstring>

namespace {

// Prints every trace line the library sends.
class CPrintingListener : public IWLANListener {
public:
    int Trace(const char* line) override {
        std::printf("trace: %s\n", line);
        return 1;
    }
};

} // namespace

int main(int argc, char** argv) {
    int discover = 0;
    const char* toSelect = nullptr;
    const char* ssid = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--discover") == 0) {
            discover = 1;
        } else if (toSelect == nullptr) {
            toSelect = argv[i];
        } else {
            ssid = argv[i];
        }
    }

    CPrintingListener listener;
    // No access-mode object: the manager reads WLANInterfaces.xml from the current directory.
    CAirvane& manager = CAirvane::Instance(nullptr, &listener);

    const stListWLANAdapter& list = manager.ListWLANAdapter(discover, &listener);
    std::printf("%u adapter(s)\n", static_cast<unsigned>(list.adapterCount));
    for (std::uint32_t i = 0; i < list.adapterCount && i < stListWLANAdapter::kMaxAdapters; ++i) {
        std::printf("  %s (%s)\n", list.adapterName[i], list.friendlyName[i]);
    }

    if (toSelect == nullptr) {
        return 0;
    }
    // SelectWLANAdapter's result mixes the previous adapter's Unselect and the new one's
    // Select; whether the adapter is selected is what SelectedWLANAdapter() says.
    manager.SelectWLANAdapter(toSelect, &listener);
    if (std::strcmp(manager.SelectedWLANAdapter(), toSelect) != 0) {
        std::printf("selection refused: generic error %d, specific error %u\n",
                    static_cast<int>(manager.GetGeneriqueLastError()),
                    static_cast<unsigned>(manager.GetSpecifiqueLastError()));
        return 1;
    }
    std::printf("selected: %s\n", manager.SelectedWLANAdapter());
    if (ssid == nullptr) {
        return 0;
    }
    CWLANProfil profile(ssid, WLAN_SECURE_NONE);
    CWLANState state;
    if (manager.Connect(profile, &listener) == 0 || manager.GetNetworkState(state, &listener) == 0) {
        std::printf("connect failed: generic error %d\n", static_cast<int>(manager.GetGeneriqueLastError()));
        return 1;
    }
    std::printf("connected to %s: link status %d\n", ssid, static_cast<int>(state.m_status));
    return 0;
}
