// A minimal host: builds the adapter manager from WLANInterfaces.xml in the current
// directory, prints the manager's trace lines and lists the usable adapters.
//
//   airvane_example_host [--discover] [adapter-name-to-select]

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
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--discover") == 0) {
            discover = 1;
        } else {
            toSelect = argv[i];
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

    if (toSelect != nullptr) {
        if (manager.SelectWLANAdapter(toSelect, &listener) != 0) {
            std::printf("selected: %s\n", manager.SelectedWLANAdapter());
        } else {
            std::printf("selection refused: generic error %d, specific error %u\n",
                        static_cast<int>(manager.GetGeneriqueLastError()),
                        static_cast<unsigned>(manager.GetSpecifiqueLastError()));
            return 1;
        }
    }
    return 0;
}
