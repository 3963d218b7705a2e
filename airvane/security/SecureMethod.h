#pragma once

#include "airvane/Export.h"

#include <cstdint>

// Identifier that ties a secure method, its state object and its capabilities object
// together. Stored as a 32-bit value; values outside the list below are kept unchanged
// where they are stored (a profile does not validate a selected identifier).
enum enWLANSecureMethodUID : std::int32_t {
    WLAN_SECURE_NONE = 0,
    WLAN_SECURE_WEP = 1,
    WLAN_SECURE_WEPPLUS = 2,
    WLAN_SECURE_WPA = 3,
    WLAN_SECURE_WPAPSK = 4,
};

class IWLANSecureMethodState;

// Root of the secure method family. Instantiable: a plain object stands for "no security".
// The order of the virtual functions is a binary interface shared with adapter plug-ins:
// GetSecureMethodUID, Clone, BuildSecureMethodState, destructor.
class AIRVANE_API IWLANSecureMethod {
public:
    IWLANSecureMethod();
    IWLANSecureMethod(const IWLANSecureMethod& other);
    // Copies nothing (the root has no data) and returns the target.
    IWLANSecureMethod& operator=(const IWLANSecureMethod& other);

    virtual enWLANSecureMethodUID GetSecureMethodUID() const;
    // New copy owned by the caller; null when out of memory.
    virtual IWLANSecureMethod* Clone() const;
    // New state object owned by the caller, or null (always null for the root).
    virtual IWLANSecureMethodState* BuildSecureMethodState() const;
    virtual ~IWLANSecureMethod();
};
