#include "airvane/security/WEPSecureMethod.h"

#include "airvane/security/WEPSecureMethodState.h"
#include "airvane/security/internal/SecureWipe.h"

#include <cstring>
#include <new>

using airvane::security::CopyKeyBits;
using airvane::security::SecureWipe;

CWLANWEPSecureMethod::CWLANWEPSecureMethod() : m_keySizeInBit(0), m_key{}, m_mode(WEP_MODE_OPEN) {}

CWLANWEPSecureMethod::CWLANWEPSecureMethod(const CWLANWEPSecureMethod& other)
    : IWLANSecureMethod(other), m_keySizeInBit(other.m_keySizeInBit), m_key{}, m_mode(other.m_mode) {
    std::memcpy(m_key, other.m_key, sizeof(m_key));
}

CWLANWEPSecureMethod& CWLANWEPSecureMethod::operator=(const CWLANWEPSecureMethod& other) {
    if (this != &other) {
        IWLANSecureMethod::operator=(other);
        m_keySizeInBit = other.m_keySizeInBit;
        std::memcpy(m_key, other.m_key, sizeof(m_key));
        m_mode = other.m_mode;
    }
    return *this;
}

CWLANWEPSecureMethod::~CWLANWEPSecureMethod() {
    SecureWipe(m_key, sizeof(m_key));
}

enWLANSecureMethodUID CWLANWEPSecureMethod::GetSecureMethodUID() const {
    return WLAN_SECURE_WEP;
}

IWLANSecureMethod* CWLANWEPSecureMethod::Clone() const {
    return new (std::nothrow) CWLANWEPSecureMethod(*this);
}

IWLANSecureMethodState* CWLANWEPSecureMethod::BuildSecureMethodState() const {
    return new (std::nothrow) CWLANWEPSecureMethodState();
}

static_assert(CWLANWEPSecureMethod::kKeyBytes * 8 == CWLANWEPSecureMethod::kMaxKeySizeInBit,
              "SetKey takes up to the whole key buffer");

int CWLANWEPSecureMethod::SetKey(const unsigned char* key, std::uint32_t sizeInBit) {
    // Bytes beyond the new key keep what they held; only the key length says what counts.
    if (!CopyKeyBits(m_key, sizeof(m_key), key, sizeInBit)) {
        return 0;
    }
    m_keySizeInBit = sizeInBit;
    return 1;
}

int CWLANWEPSecureMethod::GetKey(unsigned char* key) const {
    if (key == nullptr) {
        return 0;
    }
    const std::uint32_t bytes = m_keySizeInBit / 8;
    if (bytes > 0) {
        std::memcpy(key, m_key, bytes);
    }
    return 1;
}

std::uint32_t CWLANWEPSecureMethod::GetKeySizeInBit() const {
    return m_keySizeInBit;
}

void CWLANWEPSecureMethod::SetMode(enMode mode) {
    m_mode = mode;
}

CWLANWEPSecureMethod::enMode CWLANWEPSecureMethod::GetMode() const {
    return m_mode;
}
