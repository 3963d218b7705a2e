#include "tools/airvane/TraceListener.h"

namespace airvane::cli {

namespace {
constexpr const char* kTracePrefix = "trace: ";
}

int CTraceListener::Trace(const char* line) {
    m_out << kTracePrefix << (line != nullptr ? line : "") << '\n' << std::flush;
    return 1;
}

} // namespace airvane::cli
