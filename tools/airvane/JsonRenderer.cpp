#include "tools/airvane/Renderer.h"
#include "tools/airvane/Text.h"

namespace airvane::cli {

namespace {

// Writes `items` as a JSON array, each through `write`.
template <typename T, typename Write>
void Array(std::ostream& out, const std::vector<T>& items, Write write) {
    out << "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        out << (i == 0 ? "" : ",");
        write(items[i]);
    }
    out << "]";
}

void Link(std::ostream& out, std::int32_t status) {
    out << "{\"status\":" << status << ",\"text\":" << JsonString(LinkStatusText(status)) << "}";
}

// ,"adapter":...,"ssid":...,"method":...,"events":[...]
void ConnectFields(std::ostream& out, const stConnectContext& context) {
    out << ",\"adapter\":" << JsonString(context.adapter) << ",\"ssid\":" << JsonString(context.ssid)
        << ",\"method\":" << JsonString(context.method) << ",\"events\":";
    Array(out, context.events, [&out](const stEvent& event) {
        out << "{\"kind\":" << JsonString(event.kind) << ",\"value\":" << event.value
            << ",\"text\":" << JsonString(event.text) << "}";
    });
}

class CJsonRenderer final : public IRenderer {
public:
    CJsonRenderer(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    void Adapters(const std::vector<stAdapterEntry>& adapters) override {
        m_out << "{\"ok\":true,\"adapters\":";
        Array(m_out, adapters, [this](const stAdapterEntry& adapter) {
            m_out << "{\"name\":" << JsonString(adapter.name)
                  << ",\"friendly_name\":" << JsonString(adapter.friendlyName)
                  << ",\"info\":" << JsonString(adapter.info) << "}";
        });
        m_out << "}\n";
    }

    void State(const stStateReport& report) override {
        m_out << "{\"ok\":true,\"adapter\":" << JsonString(report.adapter) << ",\"selected\":true"
              << ",\"friendly_name\":" << JsonString(report.friendlyName) << ",\"link\":";
        Link(m_out, report.link);
        m_out << ",\"security\":" << report.security.Json() << ",\"supports\":{\"methods\":";
        Array(m_out, report.support.methods,
              [this](std::int32_t uid) { m_out << JsonString(SecureMethodText(uid)); });
        if (!report.support.maxCipher.empty()) {
            m_out << ",\"max_cipher\":" << JsonString(report.support.maxCipher);
        }
        m_out << "}";
        if (report.listNetworks) {
            m_out << ",\"networks\":";
            Array(m_out, report.networks, [this](const stNetworkEntry& network) {
                m_out << "{\"ssid\":" << JsonString(network.ssid) << ",\"quality\":" << network.quality
                      << "}";
            });
        } else {
            m_out << ",\"networks_in_range\":" << report.networksInRange;
        }
        m_out << "}\n";
    }

    // The events go into the final document.
    void Connecting(const stConnectContext&) override {}
    void Event(const stEvent&) override {}

    void Connected(const stConnectReport& report) override {
        m_out << "{\"ok\":true";
        ConnectFields(m_out, *report.context);
        m_out << ",\"link\":";
        Link(m_out, report.link);
        m_out << ",\"security\":" << report.security.Json() << "}\n";
    }

    void Disconnected(const std::string& adapter) override {
        m_out << "{\"ok\":true,\"adapter\":" << JsonString(adapter) << "}\n";
    }

    void IEDecoded(const stIEReport& report) override {
        m_out << "{\"ok\":true,\"flags\":" << JsonString(FlagWord(report.flags)) << ",\"names\":";
        Array(m_out, report.names, [this](const std::string& name) { m_out << JsonString(name); });
        m_out << "}\n";
    }

    void IEEncoded(const std::string& element, int length) override {
        m_out << "{\"ok\":true,\"element\":" << JsonString(element) << ",\"length\":" << length << "}\n";
    }

    void ConfigChecked(const stConfigReport& report) override {
        m_out << "{\"ok\":true,\"file\":" << JsonString(report.file)
              << ",\"tree\":" << JsonString(report.tree) << ",\"findings\":";
        Array(m_out, report.findings, [this](const stReaderTrap& trap) {
            m_out << "{\"line\":" << trap.line << ",\"column\":" << trap.column
                  << ",\"text\":" << JsonString(trap.text) << "}";
        });
        m_out << "}\n";
    }

    void Failed(const stFailure& failure) override {
        m_out << "{\"ok\":false,\"status\":" << failure.status
              << ",\"status_name\":" << JsonString(ExitStatusName(failure.status));
        if (failure.connect != nullptr) {
            ConnectFields(m_out, *failure.connect);
        }
        m_out << ",\"message\":" << JsonString(failure.message);
        if (!failure.reasons.empty()) {
            m_out << ",\"reasons\":";
            Array(m_out, failure.reasons, [this](const std::string& reason) { m_out << JsonString(reason); });
        }
        if (failure.hasAdapterError) {
            m_out << ",\"error\":{\"generic\":" << static_cast<std::int32_t>(failure.generic)
                  << ",\"id\":" << JsonString(LastErrorId(failure.generic))
                  << ",\"text\":" << JsonString(LastErrorText(failure.generic))
                  << ",\"specific\":" << failure.specific << "}";
        }
        m_out << "}\n";
        WriteFailureText(m_err, failure);
    }

private:
    std::ostream& m_out;
    std::ostream& m_err;
};

} // namespace

std::unique_ptr<IRenderer> MakeJsonRenderer(std::ostream& out, std::ostream& err) {
    return std::make_unique<CJsonRenderer>(out, err);
}

} // namespace airvane::cli
