#pragma once

#include "airvane/Export.h"
#include "airvane/security/SecureMethod.h"

// Root of the capabilities family; a plain object carries identifier 0.
// Virtual slot order: GetSecureMethodUID, Clone, destructor.
class AIRVANE_API IWLANSecureCapabilities {
public:
    IWLANSecureCapabilities();
    IWLANSecureCapabilities(const IWLANSecureCapabilities& other);
    IWLANSecureCapabilities& operator=(const IWLANSecureCapabilities& other);

    virtual enWLANSecureMethodUID GetSecureMethodUID() const;
    virtual IWLANSecureCapabilities* Clone() const;
    virtual ~IWLANSecureCapabilities();
};
