// Supplicant stub double, loaded by the library as "wpa_stub.dll".

#include "WpaStubDouble.h"

#include "airvane/Export.h"
#include "airvane/security/WPAStubContext.h"

#include <set>
#include <string>
#include <type_traits>

namespace {

struct stDoubleRecord {
    std::string lastBlock;
    const void* lastAdapter = nullptr;
    std::string events;
    std::int32_t state = 0;
    bool failNextLoad = false;
    int loads = 0;
    int created = 0;
    int frees = 0;
    int badFrees = 0;
};

stDoubleRecord g_record;
std::set<IWPAStubContext*> g_live;

void AddEvent(const std::string& event) {
    if (!g_record.events.empty()) {
        g_record.events += ' ';
    }
    g_record.events += event;
}

class CStubContext final : public IWPAStubContext {
public:
    void Reserved1() override { AddEvent("X1"); }
    void Reserved2() override { AddEvent("X2"); }
    void Reserved3() override { AddEvent("X3"); }
    void Reserved4() override { AddEvent("X4"); }
    void Command(std::int32_t command) override { AddEvent("C" + std::to_string(command)); }
    std::int32_t GetState() override {
        AddEvent("S");
        return g_record.state;
    }
    void Run() override { AddEvent("R"); }
};

} // namespace

AIRVANE_PLUGIN_EXPORT IWPAStubContext* WPAContextLoad(const char* networkBlock, IWpaAdapter* adapter) {
    ++g_record.loads;
    g_record.lastBlock = networkBlock != nullptr ? networkBlock : "(null)";
    g_record.lastAdapter = adapter;
    if (g_record.failNextLoad) {
        g_record.failNextLoad = false;
        return nullptr;
    }
    CStubContext* const context = new CStubContext();
    g_live.insert(context);
    ++g_record.created;
    return context;
}

AIRVANE_PLUGIN_EXPORT void WPAContextFree(IWPAStubContext* context) {
    ++g_record.frees;
    if (g_live.erase(context) == 0) {
        ++g_record.badFrees; // never handed out, or already freed: do not touch it
        return;
    }
    delete static_cast<CStubContext*>(context);
}

static_assert(std::is_same_v<decltype(&WPAContextLoad), WPAContextLoadFn>, "entry point type");
static_assert(std::is_same_v<decltype(&WPAContextFree), WPAContextFreeFn>, "entry point type");

AIRVANE_PLUGIN_EXPORT void WpaStubDouble_Reset() {
    g_record = stDoubleRecord();
}

AIRVANE_PLUGIN_EXPORT void WpaStubDouble_SetState(std::int32_t state) {
    g_record.state = state;
}

AIRVANE_PLUGIN_EXPORT void WpaStubDouble_FailNextLoad() {
    g_record.failNextLoad = true;
}

AIRVANE_PLUGIN_EXPORT const char* WpaStubDouble_LastBlock() {
    return g_record.lastBlock.c_str();
}

AIRVANE_PLUGIN_EXPORT const void* WpaStubDouble_LastAdapter() {
    return g_record.lastAdapter;
}

AIRVANE_PLUGIN_EXPORT const char* WpaStubDouble_Events() {
    return g_record.events.c_str();
}

AIRVANE_PLUGIN_EXPORT int WpaStubDouble_LoadCount() {
    return g_record.loads;
}

AIRVANE_PLUGIN_EXPORT int WpaStubDouble_CreatedCount() {
    return g_record.created;
}

AIRVANE_PLUGIN_EXPORT int WpaStubDouble_FreeCount() {
    return g_record.frees;
}

AIRVANE_PLUGIN_EXPORT int WpaStubDouble_LiveCount() {
    return static_cast<int>(g_live.size());
}

AIRVANE_PLUGIN_EXPORT int WpaStubDouble_BadFreeCount() {
    return g_record.badFrees;
}
