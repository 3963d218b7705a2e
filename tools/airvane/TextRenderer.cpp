#include "tools/airvane/Renderer.h"
#include "tools/airvane/Text.h"

#include <algorithm>
#include <iomanip>
#include <sstream>

namespace airvane::cli {

namespace {

// How people name a secure method: "open" for none.
std::string MethodName(std::int32_t uid) {
    return uid == 0 ? std::string("open") : SecureMethodText(uid);
}

class CTextRenderer final : public IRenderer {
public:
    CTextRenderer(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    void Adapters(const std::vector<stAdapterEntry>& adapters) override {
        // The plug-ins supply every column; the widths are those of the printed forms.
        std::vector<stAdapterEntry> rows;
        std::size_t nameWidth = 4;
        std::size_t friendlyWidth = 13;
        for (const stAdapterEntry& adapter : adapters) {
            rows.push_back({PrintableText(adapter.name), PrintableText(adapter.friendlyName),
                            PrintableText(adapter.info)});
            nameWidth = std::max(nameWidth, rows.back().name.size());
            friendlyWidth = std::max(friendlyWidth, rows.back().friendlyName.size());
        }
        m_out << std::left << std::setw(static_cast<int>(nameWidth)) << "NAME"
              << "  " << std::setw(static_cast<int>(friendlyWidth)) << "FRIENDLY NAME"
              << "  INFO\n";
        for (const stAdapterEntry& row : rows) {
            m_out << std::setw(static_cast<int>(nameWidth)) << row.name << "  "
                  << std::setw(static_cast<int>(friendlyWidth)) << row.friendlyName << "  " << row.info
                  << "\n";
        }
        m_out << std::right;
    }

    void State(const stStateReport& report) override {
        m_out << "Adapter " << PrintableText(report.adapter) << " (" << PrintableText(report.friendlyName)
              << ")" << (report.listNetworks ? "" : ", selected") << "\n";
        m_out << "  link:     " << LinkStatusText(report.link) << "\n";
        m_out << "  security: " << report.security.Text() << "\n";
        m_out << "  supports: " << SupportText(report.support) << "\n";
        if (!report.listNetworks) {
            m_out << "  networks: " << report.networksInRange << " in range\n";
            return;
        }
        if (report.networks.empty()) {
            m_out << "  no networks in range\n";
            return;
        }
        // Any access point in range names itself: its SSID may hold any bytes.
        std::vector<std::string> ssids;
        std::size_t width = 4;
        for (const stNetworkEntry& network : report.networks) {
            ssids.push_back(PrintableText(network.ssid));
            width = std::max(width, ssids.back().size());
        }
        m_out << "  " << std::left << std::setw(static_cast<int>(width)) << "SSID"
              << "  QUALITY\n";
        for (std::size_t i = 0; i < ssids.size(); ++i) {
            m_out << "  " << std::setw(static_cast<int>(width)) << ssids[i] << "  "
                  << report.networks[i].quality << "\n";
        }
        m_out << std::right;
    }

    void Connecting(const stConnectContext& context) override {
        m_out << "Connecting " << PrintableText(context.adapter) << " to " << PrintableText(context.ssid)
              << " (" << context.method << ")\n"
              << std::flush;
    }

    void Event(const stEvent& event) override {
        m_out << "  " << event.kind << ": " << event.text << "\n" << std::flush;
    }

    void Connected(const stConnectReport& report) override {
        m_out << "Connected to " << PrintableText(report.context->ssid) << ".\n";
    }

    void Disconnected(const std::string& adapter) override {
        m_out << "Disconnected " << PrintableText(adapter) << ".\n";
    }

    void IEDecoded(const stIEReport& report) override {
        m_out << FlagWord(report.flags);
        for (const std::string& name : report.names) {
            m_out << " " << name;
        }
        m_out << "\n";
    }

    void IEEncoded(const std::string& element, int) override { m_out << element << "\n"; }

    void ConfigChecked(const stConfigReport& report) override {
        // The tree and the traps quote names and values of the file: each line of the tree is
        // shown terminal-safe, its line feeds (one after each element) kept.
        const std::string file = PrintableText(report.file);
        m_out << "The library reads " << file << " as:\n";
        m_out << (report.tree.empty() ? "  (no element: none the reader keeps, or a tree past its memory "
                                        "budget, AIRVANE_XML_BUDGET)\n"
                                      : PrintableLines(report.tree, ""));
        if (report.findings.empty()) {
            m_out << "No tag is dropped or read in a surprising way.\n";
        }
        for (const stReaderTrap& trap : report.findings) {
            m_out << file << ":" << trap.line << ":" << trap.column << ": " << PrintableText(trap.text)
                  << "\n";
        }
    }

    void Failed(const stFailure& failure) override { WriteFailureText(m_err, failure); }

private:
    std::ostream& m_out;
    std::ostream& m_err;
};

} // namespace

std::unique_ptr<IRenderer> MakeTextRenderer(std::ostream& out, std::ostream& err) {
    return std::make_unique<CTextRenderer>(out, err);
}

void WriteFailureText(std::ostream& err, const stFailure& failure) {
    // Messages and reasons quote adapter names, SSIDs and configuration values.
    err << "error: " << PrintableText(failure.message);
    if (failure.hasAdapterError) {
        err << ": " << LastErrorText(failure.generic) << " [adapter error "
            << static_cast<std::int32_t>(failure.generic) << ", code " << failure.specific << "]";
    }
    err << "\n";
    for (const std::string& reason : failure.reasons) {
        err << "  " << PrintableText(reason) << "\n";
    }
}

std::string FlagWord(unsigned long flags) {
    std::ostringstream word;
    word << "0x" << std::hex << std::setw(8) << std::setfill('0') << flags;
    return word.str();
}

std::string SupportText(const stSupport& support) {
    std::string text;
    for (const std::int32_t uid : support.methods) {
        text += (text.empty() ? "" : ", ") + MethodName(uid);
    }
    if (!support.maxCipher.empty()) {
        text += " (strongest WPA cipher " + support.maxCipher + ")";
    }
    return text.empty() ? "nothing" : text;
}

} // namespace airvane::cli
