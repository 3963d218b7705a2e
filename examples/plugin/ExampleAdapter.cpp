// A minimal adapter plug-in: one adapter per DEVICE element, always present and ready, that
// hears one open network (the DEVICE's NETWORK attribute) and joins it without security.
// It shows the whole contract a plug-in fulfils: the exported WLAN_GetAdapter and the
// fifteen operations of IWLANAdapter. The simulated plug-in in plugins/sim is the complete
// worked example.

#include <airvane/Airvane.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Link status codes reported in CWLANState::m_status.
constexpr std::int32_t kAssociated = 1;
constexpr std::int32_t kNotAssociated = 3;

// A copy of one attribute of a DEVICE element ("" when it is missing).
std::string Attribute(stXMLNode* device, const char* name) {
    char* value = XMLGetAttribute(device, name);
    const std::string copy = value != nullptr ? value : "";
    XMLFreeString(value);
    return copy;
}

class CExampleAdapter final : public IWLANAdapter {
public:
    CExampleAdapter(std::string name, std::string friendlyName, std::string network)
        : m_name(std::move(name)), m_friendlyName(std::move(friendlyName)), m_network(std::move(network)) {}

    int IsPreconfigured() override { return 1; }
    int Preconfigure(IWLANListener*) override { return 1; }
    int Select(IWLANListener*) override { return 1; }
    int Unselect(IWLANListener* listener) override { return Disconnect(listener); }

    int Connect(CWLANProfil& profile, IWLANListener* listener) override {
        m_error = WLAN_ERROR_NONE;
        if (profile.GetSSID() == nullptr || m_network != profile.GetSSID()) {
            m_error = WLAN_ERROR_NETWORK_NOT_FOUND;
            return 0;
        }
        if (profile.GetSecureMethodIF() != nullptr &&
            profile.GetSecureMethodIF()->GetSecureMethodUID() != WLAN_SECURE_NONE) {
            m_error = WLAN_ERROR_SECURE_METHOD_UNSUPPORTED;
            return 0;
        }
        m_connected = true;
        if (listener != nullptr) {
            listener->Trace(("Example adapter " + m_name + ": joined " + m_network).c_str());
        }
        return 1;
    }

    int Disconnect(IWLANListener*) override {
        m_connected = false;
        return 1;
    }

    int GetNetworkState(CWLANState& state, IWLANListener*) override {
        state.m_count = 1;
        std::strncpy(state.m_ssid[0], m_network.c_str(), CWLANState::kSSIDSlotBytes - 1);
        state.m_quality[0] = 50;
        state.m_status = m_connected ? kAssociated : kNotAssociated;
        return 1;
    }

    int IsHardwareAvailable() override { return 1; }
    const char* GetAdapterName() override { return m_name.c_str(); }
    const char* GetFriendlyName() override { return m_friendlyName.c_str(); }
    std::uint32_t GetSpecifiqueLastError() override { return 0; }
    en_WLANLastError GetGeneriqueLastError() override { return m_error; }

    int IsSecureMethodSupported(enWLANSecureMethodUID uid, IWLANSecureCapabilities**) override {
        return uid == WLAN_SECURE_NONE ? 1 : 0;
    }

    int GetAdapterInfo(unsigned char* block, std::uint32_t* length) override {
        static const char kInfo[] = "example plug-in";
        std::memcpy(block, kInfo, sizeof kInfo);
        *length = sizeof kInfo;
        return 1;
    }

private:
    std::string m_name;
    std::string m_friendlyName;
    std::string m_network;
    bool m_connected = false;
    en_WLANLastError m_error = WLAN_ERROR_NONE;
};

// The plug-in owns its adapters until the process ends; the library never destroys one.
std::vector<std::unique_ptr<CExampleAdapter>>& Adapters() {
    static std::vector<std::unique_ptr<CExampleAdapter>> adapters;
    return adapters;
}

} // namespace

// With a DEVICE element: its adapter (null declines a DEVICE without a NAME). With null
// (discovery): this plug-in finds no further adapters.
AIRVANE_PLUGIN_EXPORT IWLANAdapter* WLAN_GetAdapter(stXMLNode* device) {
    if (device == nullptr) {
        return nullptr;
    }
    try {
        const std::string name = Attribute(device, "NAME");
        if (name.empty()) {
            return nullptr;
        }
        const std::string friendlyName = Attribute(device, "FRIENDLYNAME");
        Adapters().push_back(std::make_unique<CExampleAdapter>(
            name, friendlyName.empty() ? name : friendlyName, Attribute(device, "NETWORK")));
        return Adapters().back().get();
    } catch (...) {
        return nullptr;
    }
}
