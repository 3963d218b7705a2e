#include "airvane/Export.h"

// Answer the module loader's tests look for after resolving the export.
AIRVANE_PLUGIN_EXPORT int PlatformProbeAnswer() {
    return 4242;
}
