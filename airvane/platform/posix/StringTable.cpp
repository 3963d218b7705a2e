#include "airvane/platform/internal/StringTable.h"

namespace airvane::platform {
namespace {

constexpr const char* kStrings[] = {
    nullptr,        "WLANInterfaces.xml", "WepPlusInventel.dll", "RunWepPlus",
    "wpa_stub.dll", "WPAContextLoad",     "WPAContextFree",
};

} // namespace

const char* LoadLibraryString(unsigned id) {
    if (id == 0 || id >= sizeof(kStrings) / sizeof(kStrings[0])) {
        return nullptr;
    }
    return kStrings[id];
}

} // namespace airvane::platform
