// Key-renewal double, loaded by the library as "WepPlusInventel.dll".

#include "WepPlusDouble.h"

#include "airvane/Export.h"
#include "airvane/security/WEPPlusSecureMethod.h"

#include <type_traits>

namespace {

int g_result = 0;
int g_calls = 0;
const void* g_lastMethod = nullptr;
const void* g_lastAdapter = nullptr;

} // namespace

AIRVANE_PLUGIN_EXPORT int RunWepPlus(CWLANWEPPlusSecureMethod* method, IWepPlusAdapter* adapter) {
    ++g_calls;
    g_lastMethod = method;
    g_lastAdapter = adapter;
    return g_result;
}

static_assert(std::is_same_v<decltype(&RunWepPlus), RunWepPlusFn>, "entry point type");

AIRVANE_PLUGIN_EXPORT void WepPlusDouble_Reset() {
    g_result = 0;
    g_calls = 0;
    g_lastMethod = nullptr;
    g_lastAdapter = nullptr;
}

AIRVANE_PLUGIN_EXPORT void WepPlusDouble_SetResult(int result) {
    g_result = result;
}

AIRVANE_PLUGIN_EXPORT int WepPlusDouble_CallCount() {
    return g_calls;
}

AIRVANE_PLUGIN_EXPORT const void* WepPlusDouble_LastMethod() {
    return g_lastMethod;
}

AIRVANE_PLUGIN_EXPORT const void* WepPlusDouble_LastAdapter() {
    return g_lastAdapter;
}
