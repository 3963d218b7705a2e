#pragma once

#include "airvane/Export.h"
#include "airvane/xml/XMLTree.h"

class CGestionModeAcces;

// The interface configuration document names the adapter driver modules and the devices
// each one is asked about:
//
//   <root>                               root name is not tested ("WLAN" when synthesized)
//     <ADAPTER DLL="module file name">
//       <DEVICE CLASS="NET" HARDWAREID="...">
//         <X KITNAME="..." OSCODE="XP;2000"/>   OSCODE of the first X filters by system
//       </DEVICE>
//     </ADAPTER>
//   </root>

// Names of the elements and attributes of the configuration document.
inline constexpr const char kConfigRootElement[] = "WLAN";
inline constexpr const char kConfigAdapterElement[] = "ADAPTER";
inline constexpr const char kConfigDeviceElement[] = "DEVICE";
inline constexpr const char kConfigKitElement[] = "X";
inline constexpr const char kConfigDllAttribute[] = "DLL";
inline constexpr const char kConfigClassAttribute[] = "CLASS";
inline constexpr const char kConfigHardwareIdAttribute[] = "HARDWAREID";
inline constexpr const char kConfigKitNameAttribute[] = "KITNAME";
inline constexpr const char kConfigOSCodeAttribute[] = "OSCODE";
inline constexpr const char kConfigDeviceClass[] = "NET";

// Synthesizes the configuration document from the host's wireless access-mode entries.
// Each entry's driver list is read as pairs of module name and OSCODE list separated by
// '"'; a module gets one ADAPTER, and each pair one DEVICE under it. New elements become
// the first child of their parent, so ADAPTERs come in the reverse order of their first
// appearance and DEVICEs in the reverse order of their pairs. Returns the root, owned by
// the caller (XMLFreeTree); the root alone when there is nothing to add; null for a null
// host object or when no memory is left for the root. When memory runs out later the
// document built so far is returned.
AIRVANE_API stXMLNode* BuildInterfaceConfig(CGestionModeAcces* pAccessModes);

// Whether a DEVICE element applies to the running system: true without an X child or
// without an OSCODE on the first X child; false for an empty OSCODE; otherwise true when
// one of its codes (separated by ',' or ';', blanks trimmed) equals the system's code.
AIRVANE_API bool IsDeviceForCurrentOS(stXMLNode* device);
