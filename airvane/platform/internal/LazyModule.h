#pragma once

#include "airvane/platform/Module.h"
#include "airvane/platform/internal/StringTable.h"

namespace airvane::platform {

// An outside module the library loads on its first need and never unloads, named like its
// main entry point by string table ids. Until that entry point is found every Main() loads
// and looks up again: a failed attempt is not remembered.
template <typename MainFn> class CLazyModule {
public:
    constexpr CLazyModule(enStringId moduleName, enStringId mainExport)
        : m_moduleName(moduleName), m_mainExport(mainExport) {}

    // The main entry point, after loading the module when needed; null while either is missing.
    MainFn Main() {
        if (m_main == nullptr) {
            m_module = LoadModule(LoadLibraryString(m_moduleName));
            m_main = GetModuleFunction<MainFn>(m_module, LoadLibraryString(m_mainExport));
        }
        return m_main;
    }

    // The main entry point if an earlier Main() found it, else null; loads nothing.
    MainFn Loaded() const { return m_main; }

    // Another entry point of the module; null before the module is loaded or when missing.
    template <typename Fn> Fn Function(enStringId exportName) const {
        return GetModuleFunction<Fn>(m_module, LoadLibraryString(exportName));
    }

private:
    enStringId m_moduleName;
    enStringId m_mainExport;
    ModuleHandle m_module = nullptr;
    MainFn m_main = nullptr;
};

} // namespace airvane::platform
