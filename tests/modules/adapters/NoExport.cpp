// A module that loads but does not export WLAN_GetAdapter.

#include "airvane/Export.h"

AIRVANE_PLUGIN_EXPORT int TestNoExportMarker() {
    return 42;
}
