#include "airvane/security/WPAPSKSecureMethod.h"

#include "airvane/Hex.h"
#include "airvane/platform/internal/Guard.h"
#include "airvane/security/internal/SecureWipe.h"

#include <cstring>
#include <new>
#include <string>

using airvane::security::CopyKeyBits;
using airvane::security::SecureWipe;
using airvane::security::SecureWipeString;

namespace {

// Network block handed to the supplicant stub. Inner lines start with five tabs.
constexpr const char kNetworkBlockTemplate[] = "network={\n"
                                               "\t\t\t\t\tssid=\"%SSID%\"\n"
                                               "\t\t\t\t\tpsk=%PSK%\n"
                                               "\t\t\t\t\tpriority=1\n"
                                               "\t\t\t\t\tkey_mgmt=WPA-PSK\n"
                                               "\t\t\t\t\t}\n";
constexpr const char kSSIDField[] = "%SSID%";
constexpr const char kPSKField[] = "%PSK%";
constexpr const char kQuotedPSKField[] = "\"%PSK%\"";

// Replaces every occurrence of `field`, scanning left to right; inserted text is not scanned again.
void ReplaceAll(std::string& text, const char* field, const std::string& value) {
    const std::size_t fieldLength = std::strlen(field);
    // Room for every occurrence up front: a result that grew would release a block holding the
    // value, which may be the key, without wiping it.
    std::size_t occurrences = 0;
    for (std::size_t at = text.find(field); at != std::string::npos;
         at = text.find(field, at + fieldLength)) {
        ++occurrences;
    }
    std::string result;
    result.reserve(text.size() + occurrences * value.size());
    std::size_t from = 0;
    for (std::size_t at = text.find(field); at != std::string::npos; at = text.find(field, from)) {
        result.append(text, from, at - from);
        result.append(value);
        from = at + fieldLength;
    }
    result.append(text, from, std::string::npos);
    SecureWipeString(text);
    text.swap(result);
}

} // namespace

CWLANWPAPSKSecureMethod::CWLANWPAPSKSecureMethod()
    : CWLANWPAGenSecureMethod(WLAN_SECURE_WPAPSK), m_keySizeInBit(0), m_key{}, m_password() {}

CWLANWPAPSKSecureMethod::CWLANWPAPSKSecureMethod(const CWLANWPAPSKSecureMethod& other)
    : CWLANWPAGenSecureMethod(other), m_keySizeInBit(other.m_keySizeInBit), m_key{},
      m_password(other.m_password) {
    std::memcpy(m_key, other.m_key, sizeof(m_key));
}

CWLANWPAPSKSecureMethod& CWLANWPAPSKSecureMethod::operator=(const CWLANWPAPSKSecureMethod& other) {
    if (this == &other) {
        return *this;
    }
    std::string password = other.m_password; // may throw before anything changed
    CWLANWPAGenSecureMethod::operator=(other);
    m_keySizeInBit = other.m_keySizeInBit;
    std::memcpy(m_key, other.m_key, sizeof(m_key));
    SecureWipeString(m_password);
    m_password.swap(password);
    return *this;
}

CWLANWPAPSKSecureMethod::~CWLANWPAPSKSecureMethod() {
    WipeSecrets();
}

void CWLANWPAPSKSecureMethod::WipeSecrets() {
    SecureWipe(m_key, sizeof(m_key));
    SecureWipeString(m_password);
}

IWLANSecureMethod* CWLANWPAPSKSecureMethod::Clone() const {
    // Null when copying the pass phrase runs out of memory.
    return airvane::Guard<IWLANSecureMethod*>(
        nullptr, [&] { return new (std::nothrow) CWLANWPAPSKSecureMethod(*this); });
}

int CWLANWPAPSKSecureMethod::WPALoadContext(const CWLANState& state, const char* ssid, IWpaAdapter* adapter) {
    if (HasContextRecord()) {
        return 0;
    }
    LoadWPADll();
    if (!IsWPAContextLoadResolved()) {
        return 0;
    }
    if (m_keySizeInBit == 0 && m_password.empty()) {
        return 0;
    }
    std::string block;
    std::string psk;
    const int result = airvane::Guard(0, [&] {
        block = kNetworkBlockTemplate;
        ReplaceAll(block, kSSIDField, std::string(ssid != nullptr ? ssid : ""));
        if (m_keySizeInBit != 0) {
            psk = airvane::hex::Encode(m_key, m_keySizeInBit / 8);
            ReplaceAll(block, kPSKField, psk);
        } else {
            ReplaceAll(block, kPSKField, kQuotedPSKField);
            ReplaceAll(block, kPSKField, m_password);
        }
        return AttachNewContext(state, block.c_str(), adapter);
    });
    SecureWipeString(block);
    SecureWipeString(psk);
    return result;
}

static_assert(CWLANWPAPSKSecureMethod::kKeyBytes * 8 == CWLANWPAPSKSecureMethod::kMaxKeySizeInBit,
              "SetKey takes up to the whole key buffer");

int CWLANWPAPSKSecureMethod::SetKey(const unsigned char* key, std::uint32_t sizeInBit) {
    if (!CopyKeyBits(m_key, sizeof(m_key), key, sizeInBit)) {
        return 0;
    }
    // Nothing of a longer previous key stays behind the new one.
    const std::size_t bytes = sizeInBit / 8;
    SecureWipe(m_key + bytes, sizeof(m_key) - bytes);
    m_keySizeInBit = sizeInBit;
    SecureWipeString(m_password);
    return 1;
}

int CWLANWPAPSKSecureMethod::GetKey(unsigned char* key) const {
    if (key == nullptr || m_keySizeInBit == 0) {
        return 0;
    }
    const std::uint32_t bytes = m_keySizeInBit / 8;
    if (bytes > 0) {
        std::memcpy(key, m_key, bytes);
    }
    return 1;
}

std::uint32_t CWLANWPAPSKSecureMethod::GetKeySizeInBit() const {
    return m_keySizeInBit;
}

int CWLANWPAPSKSecureMethod::SetPassword(const char* password) {
    if (password == nullptr || *password == '\0') {
        return 0;
    }
    const bool copied = airvane::Guard(false, [&] {
        std::string copy(password);
        SecureWipeString(m_password);
        m_password.swap(copy);
        return true;
    });
    if (!copied) {
        return 0;
    }
    m_keySizeInBit = 0;
    SecureWipe(m_key, sizeof(m_key));
    return 1;
}

int CWLANWPAPSKSecureMethod::GetPassword(std::string& password) const {
    return airvane::Guard(0, [&] {
        password = m_password;
        return m_password.empty() ? 0 : 1;
    });
}
