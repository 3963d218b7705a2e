#include "tools/airvane/Text.h"

#include "airvane/Hex.h"
#include "airvane/security/WLANState.h"
#include "airvane/wpa_ie/WPAIEFlags.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace airvane::cli {

namespace {

struct stFlagName {
    unsigned long flag;
    const char* name;
};

constexpr stFlagName kFlagNames[] = {
    {WPAIE_GROUP_NONE, "GROUP_NONE"},
    {WPAIE_GROUP_WEP, "GROUP_WEP"},
    {WPAIE_GROUP_TKIP, "GROUP_TKIP"},
    {WPAIE_GROUP_CCMP, "GROUP_CCMP"},
    {WPAIE_PAIRWISE_NONE, "PAIRWISE_NONE"},
    {WPAIE_PAIRWISE_WEP, "PAIRWISE_WEP"},
    {WPAIE_PAIRWISE_TKIP, "PAIRWISE_TKIP"},
    {WPAIE_PAIRWISE_CCMP, "PAIRWISE_CCMP"},
    {WPAIE_AKM_PSK, "AKM_PSK"},
    {WPAIE_AKM_8021X, "AKM_8021X"},
    {WPAIE_PROTO_WPA, "PROTO_WPA"},
    {WPAIE_PROTO_RSN, "PROTO_RSN"},
};

constexpr const char* kFlagPrefix = "WPAIE_";

struct stErrorText {
    en_WLANLastError error;
    const char* id;
    const char* text;
};

constexpr stErrorText kErrorTexts[] = {
    {WLAN_ERROR_NONE, "none", "no error recorded"},
    {WLAN_ERROR_FAILURE, "failure", "the operation failed"},
    {WLAN_ERROR_HARDWARE_UNAVAILABLE, "hardware-unavailable", "hardware unavailable (device absent or off)"},
    {WLAN_ERROR_NOT_PRECONFIGURED, "not-preconfigured", "the adapter could not be made ready"},
    {WLAN_ERROR_NOT_SELECTED, "not-selected", "the adapter is not selected"},
    {WLAN_ERROR_SECURE_METHOD_UNSUPPORTED, "secure-method-unsupported",
     "the adapter does not support this security"},
    {WLAN_ERROR_INVALID_PROFILE, "invalid-profile", "the profile is incomplete or inconsistent"},
    {WLAN_ERROR_NETWORK_NOT_FOUND, "network-not-found", "network not found (not in range)"},
    {WLAN_ERROR_ASSOCIATION_FAILED, "association-failed", "association failed (the network refused it)"},
    {WLAN_ERROR_AUTHENTICATION_FAILED, "authentication-failed",
     "authentication failed (wrong key or pass phrase)"},
    {WLAN_ERROR_DRIVER, "driver", "the driver reported an error"},
    {WLAN_ERROR_OUT_OF_MEMORY, "out-of-memory", "the plug-in ran out of memory"},
};

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// Bytes of the well-formed UTF-8 sequence starting at text[at], a byte of 0x80 or more; 0 when
// there is none there. Overlong forms, surrogates (ED A0..BF) and code points past U+10FFFF
// are not well-formed.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at) {
    const auto byteAt = [&text](std::size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
    };
    const unsigned lead = byteAt(at);
    std::size_t length = 0;
    unsigned low = 0x80; // range of the second byte, narrowed for some lead bytes
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;   // shorter forms are overlong
        high = lead == 0xED ? 0x9F : high; // ED A0..BF are surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;   // shorter forms are overlong
        high = lead == 0xF4 ? 0x8F : high; // beyond U+10FFFF
    } else {
        return 0; // a continuation byte, C0, C1 or F5..FF
    }
    if (byteAt(at + 1) < low || byteAt(at + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byteAt(at + i) < 0x80 || byteAt(at + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

} // namespace

bool ParseHex(const std::string& text, std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint8_t> decoded;
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == ':' || c == '-') {
            if (high >= 0) {
                return false; // a separator inside a pair
            }
            continue;
        }
        const int digit = hex::DigitValue(c);
        if (digit < 0) {
            return false;
        }
        if (high < 0) {
            high = digit;
        } else {
            decoded.push_back(static_cast<std::uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0 || decoded.empty()) {
        return false;
    }
    bytes.swap(decoded);
    return true;
}

std::string ExitStatusName(int status) {
    static const char* const kNames[] = {"ok",      "failed",     "usage",    "not-found", "authentication",
                                         "timeout", "no-adapter", "key-store"};
    return status >= 0 && status < static_cast<int>(std::size(kNames)) ? kNames[status] : "unknown";
}

std::string LastErrorText(en_WLANLastError error) {
    for (const stErrorText& entry : kErrorTexts) {
        if (entry.error == error) {
            return entry.text;
        }
    }
    if (error >= WLAN_ERROR_PLUGIN_BASE) {
        return "plug-in specific error " + std::to_string(static_cast<std::int32_t>(error));
    }
    return "unknown error " + std::to_string(static_cast<std::int32_t>(error));
}

std::string LastErrorId(en_WLANLastError error) {
    for (const stErrorText& entry : kErrorTexts) {
        if (entry.error == error) {
            return entry.id;
        }
    }
    return error >= WLAN_ERROR_PLUGIN_BASE ? "plug-in" : "unknown";
}

std::string LinkStatusText(std::int32_t status) {
    switch (status) {
    case WLAN_LINK_ASSOCIATED:
        return "associated";
    case WLAN_LINK_ASSOCIATING:
        return "associating";
    case WLAN_LINK_NOT_ASSOCIATED:
        return "not associated";
    case WLAN_LINK_NOT_REPORTED:
        return "not reported";
    default:
        return "status " + std::to_string(status);
    }
}

std::string WpaStateText(std::int32_t state) {
    switch (state) {
    case 1:
        return "disconnected";
    case 2:
        return "scanning";
    case 3:
        return "associating";
    case 4:
        return "4-way handshake";
    case 5:
        return "group handshake";
    case 6:
        return "completed";
    default:
        return "unknown";
    }
}

std::string WepPlusStateText(std::int32_t state) {
    switch (state) {
    case 0:
        return "idle";
    case 1:
        return "keyed";
    case 2:
        return "not keyed";
    default:
        return "state " + std::to_string(state);
    }
}

std::string SecureMethodText(std::int32_t uid) {
    switch (uid) {
    case 0:
        return "none";
    case 1:
        return "WEP";
    case 2:
        return "WEP Plus";
    case 3:
        return "WPA";
    case 4:
        return "WPA-PSK";
    default:
        return "method " + std::to_string(uid);
    }
}

std::string CipherText(std::int32_t cipher) {
    switch (cipher) {
    case 0:
        return "none";
    case 1:
        return "WEP";
    case 2:
        return "TKIP";
    case 3:
        return "CCMP";
    default:
        return "cipher " + std::to_string(cipher);
    }
}

std::vector<std::string> IEFlagNames(unsigned long flags) {
    std::vector<std::string> names;
    for (const stFlagName& entry : kFlagNames) {
        if ((flags & entry.flag) != 0) {
            names.emplace_back(entry.name);
        }
    }
    return names;
}

unsigned long IEAllFlags() {
    unsigned long all = 0;
    for (const stFlagName& entry : kFlagNames) {
        all |= entry.flag;
    }
    return all;
}

bool ParseIEFlag(const std::string& text, unsigned long& flags) {
    if (text.empty()) {
        return false;
    }
    if (std::isdigit(static_cast<unsigned char>(text[0]))) {
        // Decimal, or hex after "0x": a leading zero does not make a number octal.
        const bool isHex = text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        const std::string digits = isHex ? text.substr(2) : text;
        const auto isDigit = [isHex](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return isHex ? std::isxdigit(byte) != 0 : std::isdigit(byte) != 0;
        };
        // strtoull alone would also take a sign, spaces or a second "0x" here.
        if (digits.empty() || !std::all_of(digits.begin(), digits.end(), isDigit)) {
            return false;
        }
        errno = 0;
        char* end = nullptr;
        const unsigned long long value = std::strtoull(digits.c_str(), &end, isHex ? 16 : 10);
        if (errno == ERANGE || end == nullptr || *end != '\0' ||
            (value & ~static_cast<unsigned long long>(IEAllFlags())) != 0) {
            return false;
        }
        flags |= static_cast<unsigned long>(value);
        return true;
    }
    std::string name = Upper(text);
    for (char& c : name) {
        if (c == '-') {
            c = '_';
        }
    }
    const std::string prefix = kFlagPrefix;
    if (name.compare(0, prefix.size(), prefix) == 0) {
        name = name.substr(prefix.size());
    }
    for (const stFlagName& entry : kFlagNames) {
        if (name == entry.name) {
            flags |= entry.flag;
            return true;
        }
    }
    return false;
}

std::string JsonEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (const std::size_t length = byte >= 0x80 ? Utf8SequenceLength(text, i) : 0; length > 0) {
                out.append(text, i, length); // JSON is UTF-8: a well-formed sequence goes through
                i += length - 1;
            } else if (byte < 0x20 || byte >= 0x7F) {
                // A control character, or a byte outside any well-formed sequence: shown as the
                // code point of the same number, as if the text were Latin-1.
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                out += escaped;
            } else {
                out += c;
            }
            break;
        }
    }
    return out;
}

std::string JsonString(const std::string& text) {
    return "\"" + JsonEscape(text) + "\"";
}

std::string PrintableText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string PrintableLines(const std::string& text, const std::string& prefix) {
    std::string out;
    std::size_t from = 0;
    do {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        out += prefix + PrintableText(text.substr(from, end - from)) + "\n";
        from = end + 1;
    } while (from < text.size());
    return out;
}

} // namespace airvane::cli
