// Entry points of the simulated supplicant module, loaded by the library as wpa_stub.dll.

#include "airvane/Export.h"
#include "airvane/security/WPAStubContext.h"
#include "plugins/sim/SimWpaPeer.h"
#include "plugins/sim/supplicant/SimSupplicant.h"

using airvane::sim::CSimSupplicant;

// The adapter pointer is the simulated adapter's access point (see SimWpaPeer.h).
AIRVANE_PLUGIN_EXPORT IWPAStubContext* WPAContextLoad(const char* networkBlock, IWpaAdapter* adapter) {
    return CSimSupplicant::Create(networkBlock, airvane::sim::FromWpaAdapter(adapter));
}

AIRVANE_PLUGIN_EXPORT void WPAContextFree(IWPAStubContext* context) {
    delete static_cast<CSimSupplicant*>(context);
}
