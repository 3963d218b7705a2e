#pragma once

#include "airvane/Export.h"
#include "airvane/security/SecureMethod.h"

// Root of the method state family; a plain object carries identifier 0.
// Virtual slot order: GetSecureMethodUID, Clone, destructor.
class AIRVANE_API IWLANSecureMethodState {
public:
    IWLANSecureMethodState();
    IWLANSecureMethodState(const IWLANSecureMethodState& other);
    IWLANSecureMethodState& operator=(const IWLANSecureMethodState& other);

    virtual enWLANSecureMethodUID GetSecureMethodUID() const;
    virtual IWLANSecureMethodState* Clone() const;
    virtual ~IWLANSecureMethodState();
};
