#include "plugins/sim/supplicant/NetworkBlock.h"

#include "airvane/Hex.h"
#include "plugins/sim/SimWpaPeer.h"
#include "plugins/sim/supplicant/PassphraseKey.h"

#include <cstring>
#include <exception>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace airvane::sim {

namespace {

constexpr const char* kBlockOpen = "network={";
constexpr const char* kBlockClose = "}";
constexpr const char* kFieldSSID = "ssid";
constexpr const char* kFieldPSK = "psk";
constexpr const char* kFieldPriority = "priority";
constexpr const char* kFieldKeyMgmt = "key_mgmt";
constexpr const char* kKeyMgmtPSK = "WPA-PSK";
// Key management names a block may list; this supplicant only runs WPA-PSK.
constexpr const char* kKnownKeyMgmt[] = {"WPA-PSK", "WPA-EAP", "IEEE8021X", "NONE"};

constexpr std::size_t kMaxSSIDBytes = 32;
constexpr std::size_t kKeyHexDigits = 64;
constexpr long kMaxPriority = 1000000;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// The block holds the pass phrase or the key: it is read through views of its text, so that no
// copy of a line is made and released, and only the values kept are copied (and wiped).
std::string_view Trim(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

// Wipes the whole buffer of a text, earlier and longer contents included, and empties it.
void WipeText(std::string& text) noexcept {
    text.resize(text.capacity()); // never reallocates
    WipeSecret(text.data(), text.size());
    text.clear();
}

// A quoted value: the text between the first and the last double quote, which must be the
// first and the last characters. Quotes inside are kept (the block has no escaping).
bool Unquote(std::string_view value, std::string& text) {
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') {
        return false;
    }
    text.assign(value.substr(1, value.size() - 2));
    return true;
}

bool Fail(std::string* error, const char* reason) noexcept {
    if (error != nullptr) {
        try {
            *error = reason;
        } catch (const std::exception&) {
            error->clear();
        }
    }
    return false;
}

bool ParseSSID(std::string_view value, stSimNetworkBlock& block, std::string* error) {
    std::string ssid;
    if (!value.empty() && value.front() == '"') {
        if (!Unquote(value, ssid)) {
            return Fail(error, "ssid: unterminated quote");
        }
    } else {
        std::vector<std::uint8_t> bytes;
        if (!airvane::hex::Decode(std::string(value), bytes)) {
            return Fail(error, "ssid: neither quoted text nor hex digits");
        }
        ssid.assign(bytes.begin(), bytes.end());
    }
    if (ssid.empty() || ssid.size() > kMaxSSIDBytes) {
        return Fail(error, "ssid: must be 1 to 32 bytes");
    }
    if (ssid.find('\0') != std::string::npos) {
        return Fail(error, "ssid: holds a zero byte");
    }
    block.ssid = ssid;
    return true;
}

bool ParsePSK(std::string_view value, stSimNetworkBlock& block, std::string* error) {
    if (!value.empty() && value.front() == '"') {
        std::string passphrase;
        if (!Unquote(value, passphrase)) {
            return Fail(error, "psk: unterminated quote");
        }
        if (!IsSimPassphraseLength(passphrase.size())) {
            WipeSecret(passphrase.data(), passphrase.size());
            return Fail(error, "psk: pass phrase must be 8 to 63 characters");
        }
        for (const char c : passphrase) {
            if (c < 32 || c > 126) {
                WipeSecret(passphrase.data(), passphrase.size());
                return Fail(error, "psk: pass phrase holds a non-printable character");
            }
        }
        block.passphrase = passphrase;
        block.hasPassphrase = true;
        WipeSecret(passphrase.data(), passphrase.size());
        return true;
    }
    std::vector<std::uint8_t> bytes;
    std::string digits(value);
    const bool decoded = value.size() == kKeyHexDigits && airvane::hex::Decode(digits, bytes);
    WipeSecret(digits.data(), digits.size());
    if (!decoded) {
        return Fail(error, "psk: neither a quoted pass phrase nor 64 hex digits");
    }
    std::memcpy(block.key, bytes.data(), sizeof block.key);
    WipeSecret(bytes.data(), bytes.size());
    block.hasKey = true;
    return true;
}

bool ParsePriority(std::string_view value, stSimNetworkBlock& block, std::string* error) {
    if (value.empty() || value.size() > 7) {
        return Fail(error, "priority: not a number");
    }
    long number = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') {
            return Fail(error, "priority: not a number");
        }
        number = number * 10 + (c - '0');
    }
    if (number > kMaxPriority) {
        return Fail(error, "priority: out of range");
    }
    block.priority = static_cast<int>(number);
    return true;
}

bool ParseKeyManagement(std::string_view value, stSimNetworkBlock& block, std::string* error) {
    bool hasPSK = false;
    std::size_t pos = 0;
    std::size_t count = 0;
    while (pos < value.size()) {
        while (pos < value.size() && IsBlank(value[pos])) {
            ++pos;
        }
        std::size_t end = pos;
        while (end < value.size() && !IsBlank(value[end])) {
            ++end;
        }
        if (end == pos) {
            break;
        }
        const std::string_view name = value.substr(pos, end - pos);
        bool known = false;
        for (const char* candidate : kKnownKeyMgmt) {
            known = known || name == candidate;
        }
        if (!known) {
            return Fail(error, "key_mgmt: unknown key management");
        }
        hasPSK = hasPSK || name == kKeyMgmtPSK;
        ++count;
        pos = end;
    }
    if (count == 0) {
        return Fail(error, "key_mgmt: empty");
    }
    if (!hasPSK) {
        return Fail(error, "key_mgmt: WPA-PSK is required");
    }
    block.keyManagement = value;
    return true;
}

// The fields a block may hold; stBlockParser::seen is indexed like this table.
using FieldParser = bool (*)(std::string_view, stSimNetworkBlock&, std::string*);
struct stField {
    const char* name;
    FieldParser parse;
};
constexpr stField kFields[] = {{kFieldSSID, ParseSSID},
                               {kFieldPSK, ParsePSK},
                               {kFieldPriority, ParsePriority},
                               {kFieldKeyMgmt, ParseKeyManagement}};
constexpr std::size_t kSSIDField = 0;
constexpr std::size_t kPSKField = 1;
constexpr std::size_t kKeyMgmtField = 3;

// Takes the next line of `cursor`, trimmed, and moves `cursor` past it.
std::string_view NextLine(const char*& cursor) {
    const char* end = std::strchr(cursor, '\n');
    const std::size_t length = end != nullptr ? static_cast<std::size_t>(end - cursor) : std::strlen(cursor);
    const std::string_view line = Trim(std::string_view(cursor, length));
    cursor += length;
    if (*cursor == '\n') {
        ++cursor;
    }
    return line;
}

// Reads the block line by line: before "network={", inside it, after its "}".
struct stBlockParser {
    enum { kBeforeBlock, kInBlock, kAfterBlock } position = kBeforeBlock;
    bool seen[std::size(kFields)] = {};

    bool Line(std::string_view line, stSimNetworkBlock& block, std::string* error) {
        if (position == kBeforeBlock) {
            position = kInBlock;
            return line == kBlockOpen || Fail(error, "expected network={");
        }
        if (position == kAfterBlock) {
            return Fail(error, "text after the closing brace");
        }
        if (line == kBlockClose) {
            position = kAfterBlock;
            return true;
        }
        return Field(line, block, error);
    }

    bool Field(std::string_view line, stSimNetworkBlock& block, std::string* error) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0) {
            return Fail(error, "expected name=value");
        }
        const std::string_view name = Trim(line.substr(0, equals));
        for (std::size_t i = 0; i < std::size(kFields); ++i) {
            if (name == kFields[i].name) {
                if (seen[i]) {
                    return Fail(error, "field given twice");
                }
                seen[i] = true;
                return kFields[i].parse(Trim(line.substr(equals + 1)), block, error);
            }
        }
        return Fail(error, "unknown field");
    }

    bool Finish(stSimNetworkBlock& block, std::string* error) const {
        if (position == kBeforeBlock) {
            return Fail(error, "no network block");
        }
        if (position == kInBlock) {
            return Fail(error, "missing closing brace");
        }
        if (!seen[kSSIDField]) {
            return Fail(error, "missing ssid");
        }
        if (!seen[kPSKField]) {
            return Fail(error, "missing psk");
        }
        if (!seen[kKeyMgmtField]) {
            block.keyManagement = kKeyMgmtPSK;
        }
        return true;
    }
};

bool ParseLines(const char* text, stSimNetworkBlock& block, std::string* error) {
    stBlockParser parser;
    const char* cursor = text;
    while (*cursor != '\0') {
        const std::string_view line = NextLine(cursor);
        if (!line.empty() && line.front() != '#' && !parser.Line(line, block, error)) {
            return false;
        }
    }
    return parser.Finish(block, error);
}

} // namespace

stSimNetworkBlock::~stSimNetworkBlock() {
    WipeText(passphrase);
    WipeSecret(key, sizeof key);
}

bool ParseNetworkBlock(const char* text, stSimNetworkBlock& block, std::string* error) noexcept {
    if (text == nullptr) {
        return Fail(error, "no text");
    }
    try {
        stSimNetworkBlock parsed;
        if (!ParseLines(text, parsed, error)) {
            return false;
        }
        // The assignment may release the buffer of an earlier pass phrase: wiped first.
        WipeText(block.passphrase);
        block = parsed;
        return true;
    } catch (const std::exception&) {
        return Fail(error, "out of memory");
    }
}

} // namespace airvane::sim
