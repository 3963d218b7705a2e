#include "tools/airvane/TraceListener.h"
#include "tools/airvane/Text.h"

#include <string>

namespace airvane::cli {

namespace {
constexpr const char* kTracePrefix = "trace: ";
}

int CTraceListener::Trace(const char* line) {
    // Traces quote SSIDs and device texts: each of their lines is shown terminal-safe, and the
    // line feeds of a trace (one sits before the device text it quotes) are kept.
    const std::string text = line != nullptr ? line : "";
    m_out << kTracePrefix;
    for (std::size_t from = 0;;) {
        const std::size_t end = text.find('\n', from);
        m_out << PrintableText(text.substr(from, end - from));
        if (end == std::string::npos) {
            break;
        }
        m_out << '\n';
        from = end + 1;
    }
    m_out << '\n' << std::flush;
    return 1;
}

} // namespace airvane::cli
