#include "tools/airvane/TraceListener.h"
#include "tools/airvane/Text.h"

#include <algorithm>
#include <string>

namespace airvane::cli {

namespace {
constexpr const char* kTracePrefix = "trace: ";
}

int CTraceListener::Trace(const char* line) {
    // Traces quote SSIDs and device texts, which may hold control bytes and line feeds (a
    // declined device's element spans several lines): every line is shown terminal-safe and
    // carries the prefix, so that no quoted text can pass for a line of its own.
    const std::string text = line != nullptr ? line : "";
    for (std::size_t from = 0;;) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        m_out << kTracePrefix << PrintableText(text.substr(from, end - from)) << '\n';
        from = end + 1;
        if (from >= text.size()) {
            break;
        }
    }
    m_out << std::flush;
    return 1;
}

} // namespace airvane::cli
