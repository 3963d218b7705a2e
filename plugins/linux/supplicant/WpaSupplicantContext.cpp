#include "plugins/linux/supplicant/WpaSupplicantContext.h"

#include "plugins/linux/ctrl/WpaNetwork.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace airvane::linux_wlan {

namespace {

constexpr const char kModuleName[] = "wpa_stub.dll (wpa_supplicant): ";
constexpr std::int32_t kStateDisconnected = 1;

void Report(const std::string& text) {
    std::fprintf(stderr, "%s%s\n", kModuleName, text.c_str());
}

} // namespace

CWpaSupplicantContext::CWpaSupplicantContext(ILinuxWpaPeer* peer)
    : m_peer(peer), m_network(-1), m_state(kStateDisconnected), m_rejected(false) {}

CWpaSupplicantContext* CWpaSupplicantContext::Create(const char* networkBlock, ILinuxWpaPeer* peer) noexcept {
    try {
        std::vector<stNetworkField> fields;
        std::string error;
        if (peer == nullptr) {
            Report("no Linux adapter: the adapter is another plug-in's or none");
            return nullptr;
        }
        if (!ParseNetworkBlock(networkBlock, fields, error)) {
            Report(error);
            return nullptr;
        }
        std::unique_ptr<CWpaSupplicantContext> context(new CWpaSupplicantContext(peer));
        const char* folder = peer->GetControlDir();
        const char* name = peer->GetInterfaceName();
        if (folder == nullptr || name == nullptr || !context->m_control.Open(folder, name, error) ||
            !context->m_events.Open(folder, name, error)) {
            Report(error.empty() ? "no interface" : error);
            return nullptr;
        }
        if (!context->m_events.Attach()) {
            Report("wpa_supplicant refused ATTACH");
            return nullptr;
        }
        context->m_network = AddNetwork(context->m_control, fields, error);
        if (context->m_network < 0) {
            Report(error);
            return nullptr;
        }
        context->ReadStatus();
        return context.release();
    } catch (const std::exception&) {
        return nullptr;
    }
}

CWpaSupplicantContext::~CWpaSupplicantContext() {
    try {
        if (m_network >= 0) {
            RemoveNetwork(m_control, m_network);
        }
    } catch (const std::exception&) {
        // Out of memory: wpa_supplicant keeps the (tagged) network; the next connection removes it.
    }
}

void CWpaSupplicantContext::Command(std::int32_t) {
    // wpa_supplicant follows the link itself; the library's link notices change nothing.
}

std::int32_t CWpaSupplicantContext::GetState() {
    return m_state;
}

void CWpaSupplicantContext::ReadStatus() {
    std::string reply;
    if (m_rejected || !m_control.Request("STATUS", reply)) {
        return;
    }
    const auto status = ParseStatus(reply);
    const auto current = status.find("id");
    if (current != status.end() && current->second != std::to_string(m_network)) {
        m_state = kStateDisconnected;
        return;
    }
    const auto state = status.find("wpa_state");
    m_state = state != status.end() ? MapWpaState(state->second) : 0;
}

void CWpaSupplicantContext::Run() {
    try {
        std::string event;
        while (!m_rejected && m_events.ReadEvent(event, 0)) {
            if (IsWrongKeyEvent(event, m_network)) {
                m_rejected = true;
                m_control.RequestOk("DISABLE_NETWORK " + std::to_string(m_network));
                m_state = kStateDisconnected;
                m_peer->OnHandshakeFailed();
            }
        }
        ReadStatus();
    } catch (const std::exception&) {
        // Out of memory: the state stays as last read.
    }
}

} // namespace airvane::linux_wlan
