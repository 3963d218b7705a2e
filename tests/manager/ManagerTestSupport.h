#pragma once

#include "airvane/manager/WLANAdapter.h"

#include <functional>
#include <string>
#include <vector>

namespace airvane::test {

// Listener that records every trace line; an optional hook runs inside each Trace call.
class CRecordingListener : public IWLANListener {
public:
    int Trace(const char* line) override;

    std::vector<std::string> lines;
    std::function<void(const char*)> onTrace;
};

// Reaches the control functions of one scripted driver module (drv1.dll, ...), loaded by
// the same name as the manager loads it, so both see the same module.
class CDriverControl {
public:
    explicit CDriverControl(const char* moduleName);

    // Calls recorded so far, one entry per call, in order.
    std::vector<std::string> Log() const;
    void ClearLog() const;
    void Set(const char* id, const char* key, const char* value) const;
    void Queue(const char* id) const;
    IWLANAdapter* Adapter(const char* id) const;

private:
    const char* (*m_log)() = nullptr;
    void (*m_clearLog)() = nullptr;
    void (*m_set)(const char*, const char*, const char*) = nullptr;
    void (*m_queue)(const char*) = nullptr;
    IWLANAdapter* (*m_adapter)(const char*) = nullptr;
};

// Pointer as the scripted driver writes it in its log ("null" or "0x..." in hex).
std::string PointerText(const void* pointer);

// Runs `body` in a child process whose current directory is a fresh folder holding
// WLANInterfaces.xml with `configuration` (no file when it is null); the child's status
// is 0 when the body ran without test failure.
int RunWithConfiguration(const char* configuration, const std::function<void()>& body);

} // namespace airvane::test
