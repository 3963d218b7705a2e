#include "tests/manager/ManagerTestSupport.h"

#include "airvane/platform/Module.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace airvane::test {

namespace {

template <typename Function>
void Resolve(platform::ModuleHandle module, const char* name, Function& function) {
    void* address = platform::GetModuleExport(module, name);
    ASSERT_NE(address, nullptr) << "missing export " << name;
    std::memcpy(&function, &address, sizeof(function));
}

} // namespace

int CRecordingListener::Trace(const char* line) {
    lines.emplace_back(line);
    if (onTrace) {
        onTrace(line);
    }
    return 1;
}

CDriverControl::CDriverControl(const char* moduleName) {
    platform::ModuleHandle module = platform::LoadModule(moduleName);
    EXPECT_NE(module, nullptr) << "cannot load " << moduleName;
    Resolve(module, "TestDriverLog", m_log);
    Resolve(module, "TestDriverClearLog", m_clearLog);
    Resolve(module, "TestDriverSet", m_set);
    Resolve(module, "TestDriverQueue", m_queue);
    Resolve(module, "TestDriverAdapter", m_adapter);
}

std::vector<std::string> CDriverControl::Log() const {
    std::vector<std::string> calls;
    std::istringstream text(m_log());
    std::string line;
    while (std::getline(text, line)) {
        calls.push_back(line);
    }
    return calls;
}

void CDriverControl::ClearLog() const {
    m_clearLog();
}

void CDriverControl::Set(const char* id, const char* key, const char* value) const {
    m_set(id, key, value);
}

void CDriverControl::Queue(const char* id) const {
    m_queue(id);
}

IWLANAdapter* CDriverControl::Adapter(const char* id) const {
    return m_adapter(id);
}

std::string PointerText(const void* pointer) {
    if (pointer == nullptr) {
        return "null";
    }
    char text[32];
    std::snprintf(text, sizeof(text), "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pointer)));
    return text;
}

int RunWithConfiguration(const char* configuration, const std::function<void()>& body) {
    return RunInChild([&]() {
        CTempDir folder;
        if (configuration != nullptr) {
            WriteFile(folder.File("WLANInterfaces.xml"), configuration);
        }
        CScopedCurrentDir current(folder.Path());
        body();
        return 0;
    });
}

} // namespace airvane::test
