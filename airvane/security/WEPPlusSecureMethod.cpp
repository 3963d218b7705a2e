#include "airvane/security/WEPPlusSecureMethod.h"

#include "airvane/Hex.h"
#include "airvane/platform/MbString.h"
#include "airvane/platform/internal/Clock.h"
#include "airvane/platform/internal/Guard.h"
#include "airvane/platform/internal/LazyModule.h"
#include "airvane/security/WEPPlusSecureMethodState.h"
#include "airvane/security/internal/SecureWipe.h"
#include "airvane/system/Registry.h"

#include <cctype>
#include <cstring>
#include <new>

namespace {

// The key renewal module, loaded on first use.
airvane::platform::CLazyModule<RunWepPlusFn> g_wepPlusModule(airvane::platform::IDS_WEPPLUS_MODULE,
                                                             airvane::platform::IDS_WEPPLUS_EXPORT);

// Hardware identifiers (lower case) of WEP Plus devices, checked in this order.
constexpr const char* kWepPlusHardwareIds[] = {
    "usb\\vid_03eb&pid_7605",
    "pcmcia\\atmel-at76c502ar_d",
    "pcmcia\\atmel-at76c502ar_e",
    "usb\\vid_0967&pid_0204",
};

constexpr std::uint32_t kAddressBytes = 6;
constexpr std::uint32_t kIndicatorBytes = 4;

// Value name of a link key, in upper-case hex digits: peer and adapter address bytes
// interleaved, peer first.
std::string LinkKeyValueName(const std::uint8_t* peer, const std::uint8_t* adapter) {
    std::string name;
    for (std::uint32_t i = 0; i < kAddressBytes; ++i) {
        airvane::hex::Append(name, &peer[i], 1);
        airvane::hex::Append(name, &adapter[i], 1);
    }
    return name;
}

// Value name of the last generated key, in upper-case hex digits: adapter address and label
// bytes interleaved, address first; once one side runs out the other continues alone.
std::string GeneratedKeyValueName(const std::uint8_t* adapter, const std::string& label) {
    std::string name;
    const std::size_t longest = label.size() > kAddressBytes ? label.size() : kAddressBytes;
    for (std::size_t i = 0; i < longest; ++i) {
        if (i < kAddressBytes) {
            airvane::hex::Append(name, &adapter[i], 1);
        }
        if (i < label.size()) {
            airvane::hex::Append(name, &label[i], 1);
        }
    }
    return name;
}

std::string LabelOf(IWepPlusAdapter* adapter) {
    const char* const label = adapter->GetLabel();
    return label != nullptr ? std::string(label) : std::string();
}

// Reads the adapter's and the peer's addresses (one length variable, set to 6 once).
bool ReadAddresses(IWepPlusAdapter* adapter, std::uint8_t* own, std::uint8_t* peer) {
    std::uint32_t length = kAddressBytes;
    if (adapter->GetAdapterAddress(own, &length) == 0) {
        return false;
    }
    return adapter->GetPeerAddress(peer, &length) != 0;
}

} // namespace

CWLANWEPPlusSecureMethod::CWLANWEPPlusSecureMethod()
    : m_mark(0), m_keyed(0), m_indicator(0), m_pairing(0), m_keyPath(), m_periodType(INTERVAL_COUNTER),
      m_period(kDefaultPeriod) {}

CWLANWEPPlusSecureMethod::CWLANWEPPlusSecureMethod(const CWLANWEPPlusSecureMethod& other) = default;

CWLANWEPPlusSecureMethod& CWLANWEPPlusSecureMethod::operator=(const CWLANWEPPlusSecureMethod& other) {
    if (this != &other) {
        std::string keyPath = other.m_keyPath; // may throw before anything changed
        CWLANWEPSecureMethod::operator=(other);
        m_mark = other.m_mark;
        m_keyed = other.m_keyed;
        m_indicator = other.m_indicator;
        m_pairing = other.m_pairing;
        m_keyPath.swap(keyPath);
        m_periodType = other.m_periodType;
        m_period = other.m_period;
    }
    return *this;
}

CWLANWEPPlusSecureMethod::~CWLANWEPPlusSecureMethod() = default;

enWLANSecureMethodUID CWLANWEPPlusSecureMethod::GetSecureMethodUID() const {
    return WLAN_SECURE_WEPPLUS;
}

IWLANSecureMethod* CWLANWEPPlusSecureMethod::Clone() const {
    // Null when copying the key path runs out of memory.
    return airvane::Guard<IWLANSecureMethod*>(
        nullptr, [&] { return new (std::nothrow) CWLANWEPPlusSecureMethod(*this); });
}

IWLANSecureMethodState* CWLANWEPPlusSecureMethod::BuildSecureMethodState() const {
    return new (std::nothrow) CWLANWEPPlusSecureMethodState(m_keyed, m_indicator);
}

void CWLANWEPPlusSecureMethod::SetWepPlusKeyPath(const char* keyPath) {
    // Out of memory: the previous path stays.
    airvane::Guard([&] { m_keyPath = keyPath != nullptr ? keyPath : ""; });
}

void CWLANWEPPlusSecureMethod::SetPairing(int pairing) {
    m_pairing = pairing;
}

void CWLANWEPPlusSecureMethod::SetPeriodType(enIntervalType type, std::uint32_t period) {
    m_periodType = type;
    m_period = period < kMinPeriod ? kMinPeriod : period;
}

void CWLANWEPPlusSecureMethod::resetWepPlus() {
    m_mark = 0;
    m_keyed = 0;
    m_indicator = 0;
}

int CWLANWEPPlusSecureMethod::IsWepPlusAdapter(const char* hardwareId) {
    if (hardwareId == nullptr || *hardwareId == '\0') {
        return 0;
    }
    return airvane::Guard(0, [&] {
        std::string lower(hardwareId);
        for (char& c : lower) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        for (const char* id : kWepPlusHardwareIds) {
            if (airvane::platform::MbsStr(lower.c_str(), id) != nullptr) {
                return 1;
            }
        }
        return 0;
    });
}

std::uint32_t CWLANWEPPlusSecureMethod::ElapsedSince(std::uint32_t mark, std::uint32_t current) {
    if (current >= mark) {
        return current - mark;
    }
    return 0xFFFFFFFFu - mark + current;
}

std::uint32_t CWLANWEPPlusSecureMethod::CurrentMark(IWepPlusAdapter* adapter, std::uint32_t fallback) const {
    if (m_periodType == INTERVAL_TIME) {
        return airvane::platform::GetTickCount();
    }
    std::uint32_t counter1 = 0;
    std::uint32_t counter2 = 0;
    if (adapter->GetCounters(&counter1, &counter2) == 0) {
        return fallback;
    }
    return counter1 + counter2; // modulo 2^32
}

void CWLANWEPPlusSecureMethod::CheckWepPlus(IWepPlusAdapter* adapter) {
    if (adapter == nullptr) {
        return;
    }
    const RunWepPlusFn runWepPlus = g_wepPlusModule.Main();
    if (m_keyed == 0) {
        if (runWepPlus != nullptr) {
            m_keyed = runWepPlus(this, adapter);
        }
        std::uint8_t indicator[kIndicatorBytes] = {0, 0, 0, 0};
        std::uint32_t length = kIndicatorBytes;
        const int read = adapter->GetIndicator(indicator, &length);
        const bool raised = indicator[0] != 0 || indicator[1] != 0 || indicator[2] != 0 || indicator[3] != 0;
        m_indicator = (read != 0 && raised && m_keyed == 0) ? 1 : 0;
        if (m_keyed == 0) {
            return;
        }
        m_mark = CurrentMark(adapter, m_mark);
        return;
    }
    const std::uint32_t current = CurrentMark(adapter, m_mark);
    if (ElapsedSince(m_mark, current) <= m_period) {
        return;
    }
    if (runWepPlus != nullptr) {
        runWepPlus(this, adapter); // a renewal does not change the keyed flag
    }
    m_mark = CurrentMark(adapter, m_mark);
}

int CWLANWEPPlusSecureMethod::GetLinkKey(IWepPlusAdapter* adapter, char* buffer, std::uint32_t& size) {
    if (m_pairing != 0 || adapter == nullptr) {
        return 0;
    }
    std::uint8_t own[kAddressBytes] = {};
    std::uint8_t peer[kAddressBytes] = {};
    if (!ReadAddresses(adapter, own, peer)) {
        return 0;
    }
    return airvane::Guard(0, [&] {
        std::string text;
        const int read = RegistryGetString(m_keyPath.c_str(), LinkKeyValueName(peer, own).c_str(), text);
        if (read == 0) {
            size = 0;
            return 0;
        }
        const std::uint32_t needed = static_cast<std::uint32_t>(text.size()) + 1;
        if (size < needed || buffer == nullptr) {
            size = needed;
            airvane::security::SecureWipeString(text);
            return 0;
        }
        std::memset(buffer, 0, size);
        std::memcpy(buffer, text.c_str(), needed);
        size = needed;
        airvane::security::SecureWipeString(text);
        return read;
    });
}

int CWLANWEPPlusSecureMethod::SetLinkKey(IWepPlusAdapter* adapter, const char* linkKey) {
    if (adapter == nullptr) {
        return 0;
    }
    std::uint8_t own[kAddressBytes] = {};
    std::uint8_t peer[kAddressBytes] = {};
    if (!ReadAddresses(adapter, own, peer)) {
        return 0;
    }
    const int stored = airvane::Guard(0, [&] {
        return RegistrySetString(m_keyPath.c_str(), LinkKeyValueName(peer, own).c_str(),
                                 linkKey != nullptr ? linkKey : "");
    });
    m_pairing = stored != 0 ? 0 : 1;
    return stored;
}

int CWLANWEPPlusSecureMethod::SetLastGeneratedKey(IWepPlusAdapter* adapter, const unsigned char* key,
                                                  std::uint32_t sizeInBit) {
    if (adapter == nullptr) {
        return 0;
    }
    return airvane::Guard(0, [&] {
        const std::string label = LabelOf(adapter);
        std::uint8_t own[kAddressBytes] = {};
        std::uint32_t length = kAddressBytes;
        const int addressRead = adapter->GetAdapterAddress(own, &length);
        if (addressRead == 0 || label.empty()) {
            return 0;
        }
        const std::uint32_t bytes = sizeInBit / 8;
        if (key == nullptr && bytes > 0) {
            return 0;
        }
        static const unsigned char kNoBytes[1] = {0};
        return RegistrySetBinary(m_keyPath.c_str(), GeneratedKeyValueName(own, label).c_str(),
                                 key != nullptr ? key : kNoBytes, bytes);
    });
}

int CWLANWEPPlusSecureMethod::GetLastGeneratedKey(IWepPlusAdapter* adapter, unsigned char* buffer,
                                                  std::uint32_t& size) {
    if (adapter == nullptr) {
        return 0;
    }
    return airvane::Guard(0, [&] {
        const std::string label = LabelOf(adapter);
        if (m_pairing != 0 || label.empty()) {
            return 0;
        }
        std::uint8_t own[kAddressBytes] = {};
        std::uint32_t length = kAddressBytes;
        if (adapter->GetAdapterAddress(own, &length) == 0) {
            return 0;
        }
        if (buffer == nullptr) {
            size = 0; // no room: the read can only report the size it needs
        }
        const int read =
            RegistryGetBinary(m_keyPath.c_str(), GeneratedKeyValueName(own, label).c_str(), buffer, size);
        size *= 8; // bytes to bits, whatever the read's outcome
        return read;
    });
}

const char* CWLANWEPPlusSecureMethod::GetWepPlusKeyPath() const {
    return m_keyPath.c_str();
}

int CWLANWEPPlusSecureMethod::GetPairing() const {
    return m_pairing;
}

CWLANWEPPlusSecureMethod::enIntervalType CWLANWEPPlusSecureMethod::GetPeriodType() const {
    return m_periodType;
}

std::uint32_t CWLANWEPPlusSecureMethod::GetPeriod() const {
    return m_period;
}

std::uint32_t CWLANWEPPlusSecureMethod::GetMark() const {
    return m_mark;
}
