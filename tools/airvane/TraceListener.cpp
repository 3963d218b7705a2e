#include "tools/airvane/TraceListener.h"
#include "tools/airvane/Text.h"

#include <string>

namespace airvane::cli {

namespace {
constexpr const char* kTracePrefix = "trace: ";
}

int CTraceListener::Trace(const char* line) {
    // Traces quote SSIDs and device texts, which may hold control bytes and line feeds (a
    // declined device's element spans several lines): every line is shown terminal-safe and
    // carries the prefix, so that no quoted text can pass for a line of its own.
    m_out << PrintableLines(line != nullptr ? line : "", kTracePrefix) << std::flush;
    return 1;
}

} // namespace airvane::cli
