#pragma once

#include "airvane/Export.h"
#include "airvane/security/SecureMethod.h"

#include <map>
#include <string>

// Network the host wants to join: its SSID and the secure method to use. The profile owns
// the method objects it creates, one per identifier, made on demand.
class AIRVANE_API CWLANProfil {
public:
    CWLANProfil();
    explicit CWLANProfil(const char* ssid);
    CWLANProfil(const char* ssid, enWLANSecureMethodUID uid);
    // Copies follow the assignment rule: the new profile owns clones of the source's methods.
    CWLANProfil(const CWLANProfil& other);
    // Takes the source's identifier and SSID, and clones of its method objects in place of
    // the target's own, which are destroyed.
    CWLANProfil& operator=(const CWLANProfil& other);
    ~CWLANProfil();

    // Replaces the SSID (null gives an empty one); 1.
    int SetSSID(const char* ssid);
    // The profile's own text, valid until the SSID changes or the profile goes away.
    const char* GetSSID() const;
    // Stores the identifier without validating it; 1.
    int SelectSecureMethod(enWLANSecureMethodUID uid);
    // Method object of the selected identifier, created on first use and owned by the
    // profile; null for identifier 3, unknown identifiers and after an allocation failure.
    IWLANSecureMethod* GetSecureMethodIF();

protected:
    enWLANSecureMethodUID m_selectedUID;
    std::map<enWLANSecureMethodUID, IWLANSecureMethod*> m_methods;
    std::string m_ssid;

private:
    void DestroyMethods();
};
