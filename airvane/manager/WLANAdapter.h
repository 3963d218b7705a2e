#pragma once

// The contract between the library and adapter driver plug-ins. A plug-in is a module that
// exports the C function WLAN_GetAdapter and hands out IWLANAdapter objects; the library
// calls their operations through virtual functions, so the order of the virtual functions
// below is a binary interface and must never change.

#include "airvane/Export.h"
#include "airvane/manager/WLANLastError.h"
#include "airvane/security/SecureCapabilities.h"
#include "airvane/security/SecureMethod.h"
#include "airvane/security/WepPlusAdapter.h"
#include "airvane/xml/XMLTree.h"

#include <cstdint>

class CWLANProfil;
class CWLANState;

// The host's trace receiver. The library only calls Trace, the second virtual function;
// the first belongs to the host and its plug-ins and is never called by the library.
// Lines passed to Trace are valid only during the call. They do not end in a line feed, except
// the one about a device declined for this system: it carries the device's serialized element,
// which spans several lines and ends in one.
class AIRVANE_API IWLANListener {
public:
    // Slot shared by hosts and plug-ins outside the library's use; does nothing by default.
    virtual int Reserved() { return 0; }
    // One trace line; the result is ignored.
    virtual int Trace(const char* line) = 0;

protected:
    // The library never destroys a listener; the owner destroys it through its own type.
    ~IWLANListener() = default;
};

// Opaque handle that a plug-in passes to the WPA-PSK method, which hands it unchanged to
// the supplicant module.
class IWpaAdapter;

// One wireless adapter served by a plug-in. Integer results are 0 for no or failure and
// non-zero for yes or success. Listener arguments may be null.
//
// The plug-in owns every adapter object it returns and keeps it valid until the process
// ends; the library never destroys one, which is why the destructor is protected and not
// virtual: it takes no slot, and the fifteen operations below are the whole table.
class AIRVANE_API IWLANAdapter {
public:
    // Whether the adapter is ready for use.
    virtual int IsPreconfigured() = 0;
    // Makes the adapter ready; called only after IsPreconfigured gave 0.
    virtual int Preconfigure(IWLANListener* listener) = 0;
    // Never called by the library.
    virtual int Reserved() { return 0; }
    // The host selected this adapter; 0 refuses the selection.
    virtual int Select(IWLANListener* listener) = 0;
    // The host selected another adapter or none.
    virtual int Unselect(IWLANListener* listener) = 0;
    // Joins the network described by the profile (SSID and secure method).
    virtual int Connect(CWLANProfil& profile, IWLANListener* listener) = 0;
    // Leaves the current network.
    virtual int Disconnect(IWLANListener* listener) = 0;
    // Fills `state`, which the library has emptied before the call.
    virtual int GetNetworkState(CWLANState& state, IWLANListener* listener) = 0;
    // Whether the device is present.
    virtual int IsHardwareAvailable() = 0;
    // Registry name of the adapter, at most 255 bytes are used; null counts as empty. When
    // registering an adapter the library calls this twice in a row (unless the first call
    // gives null) and uses the second result.
    virtual const char* GetAdapterName() = 0;
    // Display name, non-null, at most 255 bytes.
    virtual const char* GetFriendlyName() = 0;
    // Plug-in specific code of the last error.
    virtual std::uint32_t GetSpecifiqueLastError() = 0;
    // Generic code of the last error.
    virtual en_WLANLastError GetGeneriqueLastError() = 0;
    // Whether the adapter supports the secure method; may hand out its capabilities
    // object through `capabilities` (the host's pointer, passed through unchanged).
    virtual int IsSecureMethodSupported(enWLANSecureMethodUID uid,
                                        IWLANSecureCapabilities** capabilities) = 0;
    // Fills the adapter's information block: `block` holds kAdapterInfoBytes bytes whose
    // first 10 are zero, and `*length` is 10 on entry. The result is ignored; the adapter
    // list carries the block and the length as the adapter leaves them.
    virtual int GetAdapterInfo(unsigned char* block, std::uint32_t* length) = 0;

    static constexpr std::uint32_t kAdapterInfoBytes = 255;

protected:
    ~IWLANAdapter() = default;
};

// Entry point that every adapter plug-in exports, undecorated, as "WLAN_GetAdapter".
// - With a DEVICE element of the configuration: the adapter for that device, or null to
//   decline it. The element is released after the call; copy what is needed.
// - With null (discovery): one further adapter found on the machine per call, null when
//   none is left. The library repeats such a sequence at every listing with discovery.
using WLAN_GetAdapterFn = IWLANAdapter* (*)(stXMLNode* device);

// Name of the entry point export.
inline constexpr const char kWLANGetAdapterExport[] = "WLAN_GetAdapter";
