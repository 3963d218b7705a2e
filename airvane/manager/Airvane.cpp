#include "airvane/manager/Airvane.h"

#include "airvane/manager/internal/InterfaceConfig.h"
#include "airvane/manager/internal/XMLOwners.h"
#include "airvane/module/internal/UnloadHooks.h"
#include "airvane/platform/Module.h"
#include "airvane/platform/internal/Guard.h"
#include "airvane/platform/internal/StringTable.h"
#include "airvane/security/WLANState.h"
#include "airvane/xml/XMLReader.h"
#include "airvane/xml/XMLWriter.h"

#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace {

// Trace phrases of construction.
constexpr const char kTraceDllLoaded[] = "Dll loaded : ";
constexpr const char kTraceDllPrefix[] = "DLL : ";
constexpr const char kTraceSupportedAdapter[] = " supported adapter : ";
constexpr const char kTraceUnsupportedOS[] = " don't support OS for : \n";
// Trace phrases of listing.
constexpr const char kTracePreconfigureFailed[] = "Preconfigure failed for adapter : ";
constexpr const char kTraceHardwareAvailable[] = "Hardware available : ";
constexpr const char kTraceHardwareUnavailable[] = "Hardware unavailable : ";
constexpr const char kTraceNewPreconfigureFailed[] = "Preconfigure failed for new adapter: ";
constexpr const char kTraceNewCompatible[] = "Compatible new adapter : ";
constexpr const char kTraceNewUnavailable[] = "HW unavailable for compatible new adapter : ";
constexpr const char kTraceFoundWithDll[] = " found with dll ";

// Longest adapter name kept, in bytes.
constexpr std::size_t kMaxAdapterName = 255;
// Bytes of the information block zeroed, and its length, before GetAdapterInfo.
constexpr std::uint32_t kAdapterInfoPreset = 10;

// The manager lives in static storage of the library, built on first use.
alignas(CAirvane) unsigned char g_instanceStorage[sizeof(CAirvane)];
bool g_instanceStarted = false;

CAirvane* StoredInstance() {
    return std::launder(reinterpret_cast<CAirvane*>(g_instanceStorage));
}

void DestroyInstance() {
    StoredInstance()->~CAirvane();
}

// Sends the concatenated parts as one trace line; without a listener nothing is built.
template <typename... Parts> void Trace(IWLANListener* listener, const Parts&... parts) {
    if (listener == nullptr) {
        return;
    }
    std::string line;
    (line += ... += parts);
    listener->Trace(line.c_str());
}

// First bytes of a text, at most `limit`, without reading past its terminator.
std::string CutText(const char* text, std::size_t limit) {
    if (text == nullptr) {
        return std::string();
    }
    std::size_t length = 0;
    while (length < limit && text[length] != '\0') {
        ++length;
    }
    return std::string(text, length);
}

// The adapter's current name, cut to 255 bytes; empty for null.
std::string CurrentName(IWLANAdapter* adapter) {
    return CutText(adapter->GetAdapterName(), kMaxAdapterName);
}

// The name an adapter is registered under. Adapters may give a provisional text on the
// first call, so a non-null first result is followed by a second call whose result counts.
std::string RegistryName(IWLANAdapter* adapter) {
    if (adapter->GetAdapterName() == nullptr) {
        return std::string();
    }
    return CurrentName(adapter);
}

// The configuration document: the file named by the string table, read from the current
// directory, or the one synthesized from the host's access-mode data. No fallback.
stXMLNode* LoadConfigurationDocument(CGestionModeAcces* pAccessModes) {
    if (pAccessModes != nullptr) {
        return BuildInterfaceConfig(pAccessModes);
    }
    const char* fileName = airvane::platform::LoadLibraryString(airvane::platform::IDS_CONFIG_FILE);
    return fileName != nullptr ? XMLLoadFile(fileName) : nullptr;
}

// Traces a DEVICE element that the operating-system filter rejected, with its whole text.
void TraceRejectedDevice(IWLANListener* listener, const std::string& dll, const stXMLNode* device) {
    const std::uint32_t length = listener != nullptr ? XMLSerialize(device, nullptr, 0) : 0;
    if (length == 0) {
        return;
    }
    const std::unique_ptr<char[]> text(new (std::nothrow) char[static_cast<std::size_t>(length) + 1]);
    if (text == nullptr) {
        return;
    }
    std::memset(text.get(), 0, static_cast<std::size_t>(length) + 1);
    XMLSerialize(device, text.get(), 0);
    if (text[0] != '\0') {
        Trace(listener, kTraceDllPrefix, dll, kTraceUnsupportedOS, text.get());
    }
}

} // namespace

CAirvane& CAirvane::Instance(CGestionModeAcces* pAccessModes, IWLANListener* pListener) {
    if (!g_instanceStarted) {
        // Marked before construction: a call made while the manager is being built (from a
        // trace callback, say) gets the object under construction instead of a second one.
        g_instanceStarted = true;
        new (g_instanceStorage) CAirvane(pAccessModes, pListener);
        airvane::module::RunAtUnload(&DestroyInstance);
    }
    return *StoredInstance();
}

CAirvane::CAirvane(CGestionModeAcces* pAccessModes, IWLANListener* pListener) {
    // The document lives only while the manager is being built; nothing keeps a pointer
    // into it afterwards.
    const XMLTreeOwner document(LoadConfigurationDocument(pAccessModes));
    if (document.get() == nullptr) {
        return;
    }
    LoadConfiguration(document.get(), pListener);
}

CAirvane::CAirvane(const CAirvane& other) {
    *this = other; // leaves this object empty when a copy fails
}

CAirvane& CAirvane::operator=(const CAirvane& other) {
    if (this == &other) {
        return *this;
    }
    // Copy first, then swap, so that a failed copy leaves this object unchanged.
    airvane::Guard([&] {
        std::string selected(other.m_strSelectedAdapter);
        std::string lastRequested(other.m_strLastRequestedAdapter);
        std::map<std::string, WLAN_GetAdapterFn> driverEntries(other.m_mapDriverEntries);
        std::map<std::string, IWLANAdapter*> adapters(other.m_mapAdapters);
        m_listAdapters = other.m_listAdapters;
        m_strSelectedAdapter.swap(selected);
        m_strLastRequestedAdapter.swap(lastRequested);
        m_mapDriverEntries.swap(driverEntries);
        m_mapAdapters.swap(adapters);
    });
    return *this;
}

CAirvane::~CAirvane() {
    // The adapter objects and the modules stay as they are; only the registries go.
    m_mapAdapters.clear();
    m_mapDriverEntries.clear();
    m_strLastRequestedAdapter.clear();
    m_strSelectedAdapter.clear();
}

void CAirvane::LoadConfiguration(stXMLNode* root, IWLANListener* listener) {
    for (stXMLNode* adapter = XMLFindChild(root, kConfigAdapterElement); adapter != nullptr;
         adapter = XMLFindNextSibling(adapter, kConfigAdapterElement)) {
        // An element that fails to load is skipped; the elements after it are still loaded.
        airvane::Guard([&] { LoadAdapterElement(adapter, listener); });
    }
}

void CAirvane::LoadAdapterElement(stXMLNode* adapter, IWLANListener* listener) {
    const XMLStringOwner dllAttribute(XMLGetAttribute(adapter, kConfigDllAttribute));
    if (dllAttribute.get() == nullptr) {
        return;
    }
    const airvane::platform::ModuleHandle module = airvane::platform::LoadModule(dllAttribute.get());
    if (module == nullptr) {
        return;
    }
    // A module without the entry point stays loaded; modules are never unloaded.
    const WLAN_GetAdapterFn entry =
        airvane::platform::GetModuleFunction<WLAN_GetAdapterFn>(module, kWLANGetAdapterExport);
    if (entry == nullptr) {
        return;
    }
    const std::string dll(dllAttribute.get());
    Trace(listener, kTraceDllLoaded, dll);
    m_mapDriverEntries[dll] = entry;

    for (stXMLNode* device = XMLFindChild(adapter, kConfigDeviceElement); device != nullptr;
         device = XMLFindNextSibling(device, kConfigDeviceElement)) {
        // A device that fails to load (a throwing plug-in, no memory) is skipped like one the
        // plug-in refuses; the devices after it are still loaded.
        airvane::Guard([&] {
            if (!IsDeviceForCurrentOS(device)) {
                TraceRejectedDevice(listener, dll, device);
                return;
            }
            IWLANAdapter* wlanAdapter = entry(device);
            if (wlanAdapter == nullptr) {
                return;
            }
            const std::string name = RegistryName(wlanAdapter);
            // The first registration of a name wins; later ones are dropped silently.
            if (name.empty() || m_mapAdapters.count(name) != 0) {
                return;
            }
            Trace(listener, kTraceDllPrefix, dll, kTraceSupportedAdapter, name);
            m_mapAdapters[name] = wlanAdapter;
        });
    }
}

const stListWLANAdapter& CAirvane::ListWLANAdapter(int discover, IWLANListener* listener) {
    // Out of memory: the record holds what was listed so far.
    airvane::Guard([&] {
        m_listAdapters.adapterCount = 0;
        ListRegisteredAdapters(listener);
        RekeyAdapters();
        if (discover != 0) {
            DiscoverAdapters(listener);
        }
    });
    return m_listAdapters;
}

void CAirvane::ListRegisteredAdapters(IWLANListener* listener) {
    // Walk a copy: callbacks made during the walk must not invalidate it.
    const std::vector<std::pair<std::string, IWLANAdapter*>> registered(m_mapAdapters.begin(),
                                                                        m_mapAdapters.end());
    for (const auto& [key, adapter] : registered) {
        if (adapter->IsPreconfigured() == 0 && adapter->Preconfigure(listener) == 0) {
            Trace(listener, kTracePreconfigureFailed, key);
            if (key == m_strSelectedAdapter) {
                m_strSelectedAdapter.clear();
            }
            continue;
        }
        if (adapter->IsHardwareAvailable() != 0) {
            AddToList(adapter, CurrentName(adapter));
            Trace(listener, kTraceHardwareAvailable, key);
        } else {
            if (key == m_strSelectedAdapter) {
                m_strSelectedAdapter.clear();
            }
            Trace(listener, kTraceHardwareUnavailable, key);
        }
    }
}

void CAirvane::RekeyAdapters() {
    // An adapter that now reports an empty name, or the name of an adapter earlier in key
    // order, leaves the registry (it can come back through discovery). The selection keeps
    // its name even when that is no longer a key.
    std::map<std::string, IWLANAdapter*> rekeyed;
    for (const auto& entry : m_mapAdapters) {
        const std::string name = RegistryName(entry.second);
        if (!name.empty()) {
            rekeyed.emplace(name, entry.second);
        }
    }
    m_mapAdapters.swap(rekeyed);
}

void CAirvane::DiscoverAdapters(IWLANListener* listener) {
    for (const auto& [dll, entry] : m_mapDriverEntries) {
        while (IWLANAdapter* adapter = entry(nullptr)) {
            const std::string name = RegistryName(adapter);
            if (name.empty() || m_mapAdapters.count(name) != 0) {
                continue;
            }
            // Registered before any check: it stays registered even when it is not usable.
            m_mapAdapters[name] = adapter;
            if (adapter->IsPreconfigured() == 0 && adapter->Preconfigure(listener) == 0) {
                Trace(listener, kTraceNewPreconfigureFailed, name, kTraceFoundWithDll, dll);
            }
            if (adapter->IsPreconfigured() != 0 && adapter->IsHardwareAvailable() != 0) {
                Trace(listener, kTraceNewCompatible, name, kTraceFoundWithDll, dll);
                AddToList(adapter, name);
            } else {
                Trace(listener, kTraceNewUnavailable, name, kTraceFoundWithDll, dll);
            }
        }
    }
}

void CAirvane::AddToList(IWLANAdapter* adapter, const std::string& name) {
    // The record holds 32 entries; a usable adapter beyond them is not listed.
    const std::uint32_t index = m_listAdapters.adapterCount;
    if (index >= stListWLANAdapter::kMaxAdapters) {
        return;
    }
    std::memcpy(m_listAdapters.adapterName[index], name.c_str(), name.size() + 1);
    const std::string friendlyName = CutText(adapter->GetFriendlyName(), stListWLANAdapter::kNameBytes - 1);
    std::memcpy(m_listAdapters.friendlyName[index], friendlyName.c_str(), friendlyName.size() + 1);
    m_listAdapters.adapterInfoLength[index] = kAdapterInfoPreset;
    std::memset(m_listAdapters.adapterInfo[index], 0, kAdapterInfoPreset);
    adapter->GetAdapterInfo(m_listAdapters.adapterInfo[index], &m_listAdapters.adapterInfoLength[index]);
    m_listAdapters.adapterCount = index + 1;
}

IWLANAdapter* CAirvane::FindAdapter(const std::string& name) const {
    const auto found = m_mapAdapters.find(name);
    return found != m_mapAdapters.end() ? found->second : nullptr;
}

IWLANAdapter* CAirvane::SelectedAdapter() const {
    return FindAdapter(m_strSelectedAdapter);
}

IWLANAdapter* CAirvane::ErrorAdapter() const {
    // No fallback to the last requested name while a (possibly stale) selection exists.
    return FindAdapter(m_strSelectedAdapter.empty() ? m_strLastRequestedAdapter : m_strSelectedAdapter);
}

int CAirvane::SelectWLANAdapter(const char* name, IWLANListener* listener) {
    return airvane::Guard(0, [&] {
        const std::string requested(name != nullptr ? name : "");
        if (requested == m_strSelectedAdapter) {
            return 1;
        }
        int result = 0;
        if (IWLANAdapter* previous = SelectedAdapter()) {
            result = previous->Unselect(listener);
        }
        m_strSelectedAdapter.clear();
        if (IWLANAdapter* adapter = FindAdapter(requested)) {
            result = adapter->Select(listener);
            m_strLastRequestedAdapter = requested;
            if (result != 0) {
                m_strSelectedAdapter = requested;
            }
        }
        return result;
    });
}

const char* CAirvane::SelectedWLANAdapter() const {
    return m_strSelectedAdapter.c_str();
}

namespace {

// Asks `adapter` through `request`, or answers `none` without one. An exception a plug-in lets
// out (outside its contract) ends as `none` too instead of leaving the manager.
template <typename R, typename Request> R Forward(IWLANAdapter* adapter, R none, Request request) noexcept {
    return airvane::Guard(none, [&] { return adapter != nullptr ? request(*adapter) : none; });
}

} // namespace

const char* CAirvane::SelectedWLANAdapterFriendlyName() const {
    return Forward(SelectedAdapter(), static_cast<const char*>(nullptr),
                   [](IWLANAdapter& adapter) { return adapter.GetFriendlyName(); });
}

int CAirvane::GetNetworkState(CWLANState& state, IWLANListener* listener) {
    state.Empty();
    return Forward(SelectedAdapter(), 0,
                   [&](IWLANAdapter& adapter) { return adapter.GetNetworkState(state, listener); });
}

int CAirvane::IsSecureMethodSupported(enWLANSecureMethodUID uid,
                                      IWLANSecureCapabilities** capabilities) const {
    return Forward(SelectedAdapter(), 0,
                   [&](IWLANAdapter& adapter) { return adapter.IsSecureMethodSupported(uid, capabilities); });
}

int CAirvane::Connect(CWLANProfil& profile, IWLANListener* listener) {
    return Forward(SelectedAdapter(), 0,
                   [&](IWLANAdapter& adapter) { return adapter.Connect(profile, listener); });
}

int CAirvane::Disconnect(IWLANListener* listener) {
    return Forward(SelectedAdapter(), 0, [&](IWLANAdapter& adapter) { return adapter.Disconnect(listener); });
}

std::uint32_t CAirvane::GetSpecifiqueLastError() const {
    return Forward(ErrorAdapter(), std::uint32_t{0},
                   [](IWLANAdapter& adapter) { return adapter.GetSpecifiqueLastError(); });
}

en_WLANLastError CAirvane::GetGeneriqueLastError() const {
    return Forward(ErrorAdapter(), WLAN_ERROR_NONE,
                   [](IWLANAdapter& adapter) { return adapter.GetGeneriqueLastError(); });
}
