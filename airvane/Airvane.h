#pragma once

// Umbrella header for host applications: the manager, the plug-in contract, security
// profiles, network state, the WPA information element codec, the XML tree and the system
// services.

#include "airvane/Export.h"

#include "airvane/manager/Airvane.h"
#include "airvane/manager/WLANAdapter.h"
#include "airvane/security/SecureCapabilities.h"
#include "airvane/security/SecureMethod.h"
#include "airvane/security/SecureMethodState.h"
#include "airvane/security/WEPPlusSecureMethod.h"
#include "airvane/security/WEPPlusSecureMethodState.h"
#include "airvane/security/WEPSecureMethod.h"
#include "airvane/security/WEPSecureMethodState.h"
#include "airvane/security/WLANProfil.h"
#include "airvane/security/WLANState.h"
#include "airvane/security/WPAPSKSecureMethod.h"
#include "airvane/security/WPASecureMethod.h"
#include "airvane/system/OSVersion.h"
#include "airvane/system/Registry.h"
#include "airvane/wpa_ie/WPAIEFlags.h"
#include "airvane/xml/XMLReader.h"
#include "airvane/xml/XMLTree.h"
#include "airvane/xml/XMLWriter.h"
