#include "airvane/Export.h"

#include <cstdlib>

// Answer the module loader's tests look for after resolving the export. It is read with the C
// library, so that the module depends on it: an export of the C library must still not be found
// as one of this module's.
AIRVANE_PLUGIN_EXPORT int PlatformProbeAnswer() {
    return std::atoi("4242");
}
