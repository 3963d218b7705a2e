#pragma once

#include "airvane/Export.h"

#include <cstdint>

// Opaque adapter object of a plug-in; handed to the supplicant stub unchanged.
class IWpaAdapter;

// Supplicant context object made by the supplicant stub module. The library calls it
// through its virtual table, by slot: the first four slots belong to the stub and are
// never called; then Command, GetState and Run. There is no virtual destructor: the
// stub releases its objects with its own free entry point.
class AIRVANE_API IWPAStubContext {
public:
    virtual void Reserved1() = 0;
    virtual void Reserved2() = 0;
    virtual void Reserved3() = 0;
    virtual void Reserved4() = 0;
    // Commands sent by the library: 0, 1, 3 or 4; their meaning is the stub's.
    virtual void Command(std::int32_t command) = 0;
    // Raw state; the library keeps 1 to 6 and maps anything else to 0.
    virtual std::int32_t GetState() = 0;
    virtual void Run() = 0;

protected:
    IWPAStubContext() = default;
    IWPAStubContext(const IWPAStubContext&) = default;
    IWPAStubContext& operator=(const IWPAStubContext&) = default;
    ~IWPAStubContext() = default;
};

// Entry points of the supplicant stub module, exported with C linkage.
using WPAContextLoadFn = IWPAStubContext* (*)(const char* networkBlock, IWpaAdapter* adapter);
using WPAContextFreeFn = void (*)(IWPAStubContext* context);
