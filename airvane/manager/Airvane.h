#pragma once

#include "airvane/Export.h"
#include "airvane/manager/GestionModeAcces.h"
#include "airvane/manager/ListWLANAdapter.h"
#include "airvane/manager/WLANAdapter.h"
#include "airvane/manager/WLANLastError.h"
#include "airvane/security/SecureMethod.h"

#include <cstdint>
#include <map>
#include <string>

class CWLANProfil;
class CWLANState;

// The adapter manager: the one object through which a host reaches the wireless adapters.
//
// Built on the first Instance call from the interface configuration (the file
// WLANInterfaces.xml in the current directory, or the host's access-mode data): it loads
// every adapter driver module the configuration names and registers one adapter object per
// configured device under the name the adapter reports. Listing prepares the registered
// adapters and reports the usable ones; selection picks one by name, and the connection,
// state, capability and error requests are forwarded to it.
//
// The manager owns its registries but not the adapter objects, which belong to their
// modules; loaded modules are never unloaded. Everything happens on the caller's thread,
// without locks; no exception leaves a member function.
class AIRVANE_API CAirvane {
public:
    // The manager. The first call builds it from the host's access-mode object (null: the
    // configuration file) and traces its loading to `pListener`; every later call, including
    // one made while the first is still building it, returns the same object and ignores
    // its arguments. It is destroyed when the library is unloaded.
    static CAirvane& Instance(CGestionModeAcces* pAccessModes = nullptr, IWLANListener* pListener = nullptr);

    // Member by member: the list record, both names and both registries (the same entry
    // points and adapter objects). Loads, calls and traces nothing.
    CAirvane(const CAirvane& other);
    CAirvane& operator=(const CAirvane& other);
    // Clears the registries and the names; calls no adapter and unloads no module.
    ~CAirvane();

    // Rebuilds the list of usable adapters: prepares every registered adapter and lists
    // those whose device is present, re-keys the registry by the names the adapters now
    // report, and with `discover` non-zero registers and lists the further adapters each
    // driver module hands out. At most 32 adapters are listed; further usable adapters are
    // prepared, registered and traced like the others but left out of the record. The
    // record stays valid as long as the manager and is overwritten by the next call.
    const stListWLANAdapter& ListWLANAdapter(int discover, IWLANListener* listener);

    // Selects the adapter registered under `name` (null: none), unselecting the previous one
    // first. 1 when `name` is already the selection; otherwise the last of the previous
    // adapter's Unselect and the new adapter's Select results, 0 when neither was called.
    int SelectWLANAdapter(const char* name, IWLANListener* listener);
    // Name of the selection; "" when none, never null.
    const char* SelectedWLANAdapter() const;
    // Friendly name of the selected adapter; null when no adapter is selected.
    const char* SelectedWLANAdapterFriendlyName() const;

    // The selected adapter's operations; 0 when no adapter is selected. GetNetworkState
    // empties `state` first in every case; IsSecureMethodSupported leaves `capabilities`
    // untouched when there is no adapter to ask.
    int GetNetworkState(CWLANState& state, IWLANListener* listener);
    int IsSecureMethodSupported(enWLANSecureMethodUID uid, IWLANSecureCapabilities** capabilities) const;
    int Connect(CWLANProfil& profile, IWLANListener* listener);
    int Disconnect(IWLANListener* listener);

    // Last error of the selected adapter or, when nothing is selected, of the adapter last
    // asked to be selected (so a refused selection can be explained); 0 without one.
    std::uint32_t GetSpecifiqueLastError() const;
    en_WLANLastError GetGeneriqueLastError() const;

private:
    explicit CAirvane(CGestionModeAcces* pAccessModes = nullptr, IWLANListener* pListener = nullptr);

    void LoadConfiguration(stXMLNode* root, IWLANListener* listener);
    void LoadAdapterElement(stXMLNode* adapter, IWLANListener* listener);
    void ListRegisteredAdapters(IWLANListener* listener);
    void RekeyAdapters();
    void DiscoverAdapters(IWLANListener* listener);
    void AddToList(IWLANAdapter* adapter, const std::string& name);
    IWLANAdapter* FindAdapter(const std::string& name) const;
    IWLANAdapter* SelectedAdapter() const;
    IWLANAdapter* ErrorAdapter() const;

    stListWLANAdapter m_listAdapters;
    std::string m_strSelectedAdapter;
    std::string m_strLastRequestedAdapter;
    std::map<std::string, WLAN_GetAdapterFn> m_mapDriverEntries;
    std::map<std::string, IWLANAdapter*> m_mapAdapters;
};
