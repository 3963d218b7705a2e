#pragma once

#include "airvane/manager/WLANAdapter.h"

#include <ostream>

namespace airvane::cli {

// Prints the library's and the plug-ins' trace lines, one per call, prefixed with "trace: ".
class CTraceListener final : public IWLANListener {
public:
    explicit CTraceListener(std::ostream& out) : m_out(out) {}
    CTraceListener(const CTraceListener&) = delete;
    CTraceListener& operator=(const CTraceListener&) = delete;
    ~CTraceListener() = default;

    int Trace(const char* line) override;

private:
    std::ostream& m_out;
};

} // namespace airvane::cli
