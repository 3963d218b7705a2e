#include "airvane/security/WLANProfil.h"

#include "airvane/platform/internal/Guard.h"
#include "airvane/security/WEPPlusSecureMethod.h"
#include "airvane/security/WEPSecureMethod.h"
#include "airvane/security/WPAPSKSecureMethod.h"

#include <memory>
#include <new>
#include <utility>

namespace {

// New default method object for an identifier; null for identifiers without one (3 and
// unknown values) and when out of memory. `known` tells the two apart.
IWLANSecureMethod* CreateMethod(enWLANSecureMethodUID uid, bool& known) {
    known = true;
    switch (uid) {
    case WLAN_SECURE_NONE:
        return new (std::nothrow) IWLANSecureMethod();
    case WLAN_SECURE_WEP:
        return new (std::nothrow) CWLANWEPSecureMethod();
    case WLAN_SECURE_WEPPLUS:
        return new (std::nothrow) CWLANWEPPlusSecureMethod();
    case WLAN_SECURE_WPAPSK:
        return new (std::nothrow) CWLANWPAPSKSecureMethod();
    default:
        known = false;
        return nullptr;
    }
}

using MethodMap = std::map<enWLANSecureMethodUID, IWLANSecureMethod*>;

void DestroyAll(MethodMap& methods) {
    for (auto& entry : methods) {
        delete entry.second;
        entry.second = nullptr;
    }
    methods.clear();
}

// Map with a clone of every method of `source` (null stays null). Throws std::bad_alloc when
// the map cannot grow or a method cannot be cloned, having destroyed the clones made so far:
// a copy never holds null where its source holds a method.
MethodMap CloneAll(const MethodMap& source) {
    MethodMap copy;
    for (const auto& entry : source) {
        copy.emplace_hint(copy.end(), entry.first, nullptr);
    }
    auto original = source.begin();
    for (auto& entry : copy) {
        if (original->second != nullptr) {
            entry.second = original->second->Clone();
            if (entry.second == nullptr) {
                DestroyAll(copy);
                throw std::bad_alloc();
            }
        }
        ++original;
    }
    return copy;
}

} // namespace

CWLANProfil::CWLANProfil() : m_selectedUID(WLAN_SECURE_NONE), m_methods(), m_ssid() {}

CWLANProfil::CWLANProfil(const char* ssid) : CWLANProfil(ssid, WLAN_SECURE_NONE) {}

CWLANProfil::CWLANProfil(const char* ssid, enWLANSecureMethodUID uid) : CWLANProfil() {
    m_selectedUID = uid;
    SetSSID(ssid);
}

CWLANProfil::CWLANProfil(const CWLANProfil& other) : CWLANProfil() {
    *this = other;
}

CWLANProfil& CWLANProfil::operator=(const CWLANProfil& other) {
    if (this == &other) {
        return *this;
    }
    // Out of memory, for the SSID, the map or any clone: the target stays as it was. Nothing
    // throws once the methods are cloned.
    airvane::Guard([&] {
        std::string ssid = other.m_ssid;
        MethodMap methods = CloneAll(other.m_methods);
        DestroyMethods();
        m_methods.swap(methods);
        m_ssid.swap(ssid);
        m_selectedUID = other.m_selectedUID;
    });
    return *this;
}

CWLANProfil::~CWLANProfil() {
    DestroyMethods();
}

void CWLANProfil::DestroyMethods() {
    DestroyAll(m_methods);
}

int CWLANProfil::SetSSID(const char* ssid) {
    // Out of memory: the previous SSID stays.
    airvane::Guard([&] { m_ssid = ssid != nullptr ? ssid : ""; });
    return 1;
}

const char* CWLANProfil::GetSSID() const {
    return m_ssid.c_str();
}

int CWLANProfil::SelectSecureMethod(enWLANSecureMethodUID uid) {
    m_selectedUID = uid;
    return 1;
}

IWLANSecureMethod* CWLANProfil::GetSecureMethodIF() {
    const auto found = m_methods.find(m_selectedUID);
    if (found != m_methods.end()) {
        return found->second;
    }
    bool known = false;
    IWLANSecureMethod* const method = CreateMethod(m_selectedUID, known);
    if (!known) {
        return nullptr;
    }
    // When the entry cannot be stored the profile cannot own the method: it is deleted.
    return airvane::Guard<IWLANSecureMethod*>(nullptr, [&] {
        std::unique_ptr<IWLANSecureMethod> owned(method);
        m_methods.emplace(m_selectedUID, method);
        return owned.release();
    });
}
