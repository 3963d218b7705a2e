#pragma once

#include "airvane/Export.h"

namespace airvane::platform {

// Identifiers of the library's string table.
enum enStringId : unsigned {
    IDS_CONFIG_FILE = 1,     // "WLANInterfaces.xml"
    IDS_WEPPLUS_MODULE = 2,  // "WepPlusInventel.dll"
    IDS_WEPPLUS_EXPORT = 3,  // "RunWepPlus"
    IDS_WPA_MODULE = 4,      // "wpa_stub.dll"
    IDS_WPA_LOAD_EXPORT = 5, // "WPAContextLoad"
    IDS_WPA_FREE_EXPORT = 6, // "WPAContextFree"
};

// Text of a string table entry; null for an unknown id.
AIRVANE_API const char* LoadLibraryString(unsigned id);

} // namespace airvane::platform
