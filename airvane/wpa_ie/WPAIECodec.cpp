#include "airvane/wpa_ie/internal/WPAIECodec.h"

#include "airvane/wpa_ie/WPAIEFlags.h"

#include <cstdint>
#include <cstring>

namespace {

// A parsed element before it becomes flags.
struct stWPAIEData {
    std::uint32_t protocol;      // kProtocolWPA or kProtocolRSN
    std::uint32_t pairwise;      // OR of cipher values
    std::uint32_t group;         // one cipher value
    std::uint32_t keyManagement; // OR of key management values
    std::uint32_t capabilities;  // 16-bit field, 0 when absent
};

constexpr std::uint32_t kProtocolWPA = 1;
constexpr std::uint32_t kProtocolRSN = 2;

// Cipher values of stWPAIEData.
constexpr std::uint32_t kCipherNone = 1;
constexpr std::uint32_t kCipherWEP40 = 2;
constexpr std::uint32_t kCipherWEP104 = 4;
constexpr std::uint32_t kCipherTKIP = 8;
constexpr std::uint32_t kCipherCCMP = 16;
// Key management values of stWPAIEData.
constexpr std::uint32_t kAkm8021X = 1;
constexpr std::uint32_t kAkmPSK = 2;

// Suite types on the wire (last byte of a selector).
constexpr unsigned char kSuiteCipherNone = 0;
constexpr unsigned char kSuiteCipherWEP40 = 1;
constexpr unsigned char kSuiteCipherTKIP = 2;
constexpr unsigned char kSuiteCipherCCMP = 4;
constexpr unsigned char kSuiteCipherWEP104 = 5;
constexpr unsigned char kSuiteAkm8021X = 1;
constexpr unsigned char kSuiteAkmPSK = 2;

constexpr unsigned char kWPAElementId = 221;
constexpr unsigned char kRSNElementId = 48;
constexpr unsigned char kWPAOui[3] = {0x00, 0x50, 0xF2};
constexpr unsigned char kRSNOui[3] = {0x00, 0x0F, 0xAC};
constexpr unsigned char kWPAOuiType = 1; // 00-50-F2-01 identifies a WPA element
constexpr std::uint32_t kVersion = 1;

constexpr unsigned int kWPAHeaderBytes = 8; // id, length, selector, version
constexpr unsigned int kRSNHeaderBytes = 4; // id, length, version
constexpr unsigned int kSuiteBytes = 4;
constexpr unsigned int kCountBytes = 2;

constexpr unsigned int kMinGenerateBuffer = 40;
constexpr unsigned char kWPAGeneratedLength = 22;
constexpr unsigned char kRSNGeneratedLength = 20;

std::uint32_t ReadLE16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
}

std::uint32_t CipherValue(const unsigned char* suite, const unsigned char* oui) {
    if (std::memcmp(suite, oui, 3) != 0) {
        return 0;
    }
    switch (suite[3]) {
    case kSuiteCipherNone:
        return kCipherNone;
    case kSuiteCipherWEP40:
        return kCipherWEP40;
    case kSuiteCipherTKIP:
        return kCipherTKIP;
    case kSuiteCipherCCMP:
        return kCipherCCMP;
    case kSuiteCipherWEP104:
        return kCipherWEP104;
    default:
        return 0;
    }
}

std::uint32_t AkmValue(const unsigned char* suite, const unsigned char* oui) {
    if (std::memcmp(suite, oui, 3) != 0) {
        return 0;
    }
    switch (suite[3]) {
    case kSuiteAkm8021X:
        return kAkm8021X;
    case kSuiteAkmPSK:
        return kAkmPSK;
    default:
        return 0;
    }
}

using SuiteValueFn = std::uint32_t (*)(const unsigned char*, const unsigned char*);

// Reads an optional suite list (2-byte count, then count suites) at `pos`. Absent when
// fewer than 2 bytes are left; a single byte, a count of 0 or a short list fail.
bool ReadSuiteList(const unsigned char*& pos, unsigned int& left, const unsigned char* oui,
                   SuiteValueFn value, std::uint32_t& field) {
    if (left >= kCountBytes) {
        field = 0;
        const std::uint32_t count = ReadLE16(pos);
        pos += kCountBytes;
        left -= kCountBytes;
        if (count == 0 || static_cast<std::uint64_t>(count) * kSuiteBytes > left) {
            return false;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            field |= value(pos, oui);
            pos += kSuiteBytes;
            left -= kSuiteBytes;
        }
        return true;
    }
    return left != 1;
}

// Reads the part shared by both elements: group suite, pairwise list, key management list,
// capabilities. `trailingAllowed` accepts bytes after the capabilities.
bool ReadBody(const unsigned char* pos, unsigned int left, const unsigned char* oui, bool trailingAllowed,
              stWPAIEData& data) {
    if (left >= kSuiteBytes) {
        data.group = CipherValue(pos, oui);
        pos += kSuiteBytes;
        left -= kSuiteBytes;
    } else if (left >= 1) {
        return false;
    }
    if (!ReadSuiteList(pos, left, oui, CipherValue, data.pairwise)) {
        return false;
    }
    if (!ReadSuiteList(pos, left, oui, AkmValue, data.keyManagement)) {
        return false;
    }
    if (left >= kCountBytes) {
        data.capabilities = ReadLE16(pos);
        left -= kCountBytes;
    }
    return trailingAllowed || left == 0;
}

bool ReadWPAElement(const unsigned char* ie, unsigned int length, stWPAIEData& data) {
    data = stWPAIEData{kProtocolWPA, kCipherTKIP, kCipherTKIP, kAkm8021X, 0};
    if (length < kWPAHeaderBytes || ie[0] != kWPAElementId || ie[1] != length - 2) {
        return false;
    }
    if (std::memcmp(ie + 2, kWPAOui, 3) != 0 || ie[5] != kWPAOuiType || ReadLE16(ie + 6) != kVersion) {
        return false;
    }
    return ReadBody(ie + kWPAHeaderBytes, length - kWPAHeaderBytes, kWPAOui, false, data);
}

bool ReadRSNElement(const unsigned char* ie, unsigned int length, stWPAIEData& data) {
    data = stWPAIEData{kProtocolRSN, kCipherCCMP, kCipherCCMP, kAkm8021X, 0};
    if (length < kRSNHeaderBytes || ie[0] != kRSNElementId || ie[1] != length - 2 ||
        ReadLE16(ie + 2) != kVersion) {
        return false;
    }
    return ReadBody(ie + kRSNHeaderBytes, length - kRSNHeaderBytes, kRSNOui, true, data);
}

unsigned long CipherFlags(std::uint32_t ciphers, unsigned long none, unsigned long wep, unsigned long tkip,
                          unsigned long ccmp) {
    unsigned long flags = 0;
    if ((ciphers & kCipherNone) != 0) {
        flags |= none;
    }
    if ((ciphers & (kCipherWEP40 | kCipherWEP104)) != 0) {
        flags |= wep;
    }
    if ((ciphers & kCipherTKIP) != 0) {
        flags |= tkip;
    }
    if ((ciphers & kCipherCCMP) != 0) {
        flags |= ccmp;
    }
    return flags;
}

unsigned long ToFlags(const stWPAIEData& data) {
    unsigned long flags = 0;
    if (data.protocol == kProtocolWPA) {
        flags |= WPAIE_PROTO_WPA;
    } else if (data.protocol == kProtocolRSN) {
        flags |= WPAIE_PROTO_RSN;
    }
    flags |= CipherFlags(data.pairwise, WPAIE_PAIRWISE_NONE, WPAIE_PAIRWISE_WEP, WPAIE_PAIRWISE_TKIP,
                         WPAIE_PAIRWISE_CCMP);
    flags |= CipherFlags(data.group, WPAIE_GROUP_NONE, WPAIE_GROUP_WEP, WPAIE_GROUP_TKIP, WPAIE_GROUP_CCMP);
    if ((data.keyManagement & kAkm8021X) != 0) {
        flags |= WPAIE_AKM_8021X;
    }
    if ((data.keyManagement & kAkmPSK) != 0) {
        flags |= WPAIE_AKM_PSK;
    }
    return flags;
}

// Writes a selector unless no flag chose one (`type` < 0): those four bytes keep what the
// buffer held.
void WriteSuite(unsigned char* at, const unsigned char* oui, int type) {
    if (type < 0) {
        return;
    }
    std::memcpy(at, oui, 3);
    at[3] = static_cast<unsigned char>(type);
}

void WriteCountOne(unsigned char* at) {
    at[0] = 1;
    at[1] = 0;
}

int GroupSuite(unsigned long flags) {
    if ((flags & WPAIE_GROUP_CCMP) != 0) {
        return kSuiteCipherCCMP;
    }
    if ((flags & WPAIE_GROUP_TKIP) != 0) {
        return kSuiteCipherTKIP;
    }
    if ((flags & WPAIE_GROUP_WEP) != 0) {
        return kSuiteCipherWEP104;
    }
    return -1;
}

int PairwiseSuite(unsigned long flags) {
    if ((flags & WPAIE_PAIRWISE_CCMP) != 0) {
        return kSuiteCipherCCMP;
    }
    if ((flags & WPAIE_PAIRWISE_TKIP) != 0) {
        return kSuiteCipherTKIP;
    }
    if ((flags & WPAIE_PAIRWISE_NONE) != 0) {
        return kSuiteCipherNone;
    }
    return -1;
}

int AkmSuite(unsigned long flags) {
    if ((flags & WPAIE_AKM_8021X) != 0) {
        return kSuiteAkm8021X;
    }
    if ((flags & WPAIE_AKM_PSK) != 0) {
        return kSuiteAkmPSK;
    }
    return -1;
}

} // namespace

namespace airvane::wpa_ie {

int Parse(const unsigned char* ie, unsigned int length, unsigned long& flags) {
    if (length == 0 || ie == nullptr) {
        return 0;
    }
    stWPAIEData data{};
    bool parsed = false;
    if (ie[0] == kRSNElementId) {
        parsed = ReadRSNElement(ie, length, data);
    } else if (ie[0] == kWPAElementId) {
        parsed = ReadWPAElement(ie, length, data);
    }
    if (!parsed) {
        return 0;
    }
    flags |= ToFlags(data);
    return 1;
}

int Generate(unsigned long flags, unsigned char* buffer, unsigned int bufferLength) {
    if (bufferLength < kMinGenerateBuffer || buffer == nullptr) {
        return -1;
    }
    if ((flags & WPAIE_PROTO_RSN) != 0) {
        unsigned char* p = buffer;
        p[0] = kRSNElementId;
        p[1] = kRSNGeneratedLength;
        WriteCountOne(p + 2); // version 1
        WriteSuite(p + 4, kRSNOui, GroupSuite(flags));
        WriteCountOne(p + 8);
        WriteSuite(p + 10, kRSNOui, PairwiseSuite(flags));
        WriteCountOne(p + 14);
        WriteSuite(p + 16, kRSNOui, AkmSuite(flags));
        p[20] = 0; // capabilities
        p[21] = 0;
        return kRSNGeneratedLength + 2;
    }
    if ((flags & WPAIE_PROTO_WPA) != 0) {
        unsigned char* p = buffer;
        p[0] = kWPAElementId;
        p[1] = kWPAGeneratedLength;
        std::memcpy(p + 2, kWPAOui, 3);
        p[5] = kWPAOuiType;
        WriteCountOne(p + 6); // version 1
        WriteSuite(p + 8, kWPAOui, GroupSuite(flags));
        WriteCountOne(p + 12);
        WriteSuite(p + 14, kWPAOui, PairwiseSuite(flags));
        WriteCountOne(p + 18);
        WriteSuite(p + 20, kWPAOui, AkmSuite(flags));
        return kWPAGeneratedLength + 2;
    }
    return -1;
}

} // namespace airvane::wpa_ie
