#include "airvane/module/internal/UnloadHooks.h"

#include <cstddef>

namespace airvane::module {
namespace {

constexpr std::size_t kMaxUnloadHooks = 8;

// One static object of the library. Its table is filled in at compile time (constant
// initialisation), so hooks may be registered before the library's own dynamic
// initialisation has run; its destructor runs when the library's static objects are
// destroyed, which is at unload.
class CUnloadHooks {
public:
    constexpr CUnloadHooks() : m_hooks{}, m_count(0) {}
    CUnloadHooks(const CUnloadHooks&) = delete;
    CUnloadHooks& operator=(const CUnloadHooks&) = delete;

    ~CUnloadHooks() {
        while (m_count > 0) {
            --m_count;
            UnloadHook hook = m_hooks[m_count];
            m_hooks[m_count] = nullptr;
            hook();
        }
    }

    bool Add(UnloadHook hook) {
        if (hook == nullptr || m_count == kMaxUnloadHooks) {
            return false;
        }
        m_hooks[m_count++] = hook;
        return true;
    }

private:
    UnloadHook m_hooks[kMaxUnloadHooks];
    std::size_t m_count;
};

CUnloadHooks g_unloadHooks;

} // namespace

bool RunAtUnload(UnloadHook hook) {
    return g_unloadHooks.Add(hook);
}

} // namespace airvane::module
