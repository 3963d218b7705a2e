// Entry points of the supplicant module for Linux adapters, loaded by the library as
// wpa_stub.dll: it drives wpa_supplicant through its control interface.

#include "airvane/Export.h"
#include "airvane/security/WPAStubContext.h"
#include "plugins/linux/LinuxWpaPeer.h"
#include "plugins/linux/supplicant/WpaSupplicantContext.h"

using airvane::linux_wlan::CWpaSupplicantContext;

// The adapter pointer is the Linux adapter's ILinuxWpaPeer (see LinuxWpaPeer.h).
AIRVANE_PLUGIN_EXPORT IWPAStubContext* WPAContextLoad(const char* networkBlock, IWpaAdapter* adapter) {
    return CWpaSupplicantContext::Create(networkBlock, airvane::linux_wlan::FromWpaAdapter(adapter));
}

AIRVANE_PLUGIN_EXPORT void WPAContextFree(IWPAStubContext* context) {
    delete static_cast<CWpaSupplicantContext*>(context);
}
