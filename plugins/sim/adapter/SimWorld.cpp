#include "plugins/sim/adapter/SimWorld.h"

#include "airvane/Hex.h"
#include "plugins/sim/SimWpaPeer.h"

#include "airvane/security/WEPPlusSecureMethod.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <set>

namespace airvane::sim {

namespace {

// Element and attribute names of the world vocabulary.
constexpr const char* kElementAdapter = "SIMADAPTER";
constexpr const char* kElementNetwork = "NETWORK";
constexpr const char* kAttrHardwareId = "HARDWAREID";
constexpr const char* kAttrName = "NAME";
constexpr const char* kAttrFriendlyName = "FRIENDLYNAME";
constexpr const char* kAttrAddress = "ADDRESS";
constexpr const char* kAttrPresent = "PRESENT";
constexpr const char* kAttrHotPlug = "HOTPLUG";
constexpr const char* kAttrReady = "READY";
constexpr const char* kAttrPrepare = "PREPARE";
constexpr const char* kAttrSelect = "SELECT";
constexpr const char* kAttrWpa = "WPA";
constexpr const char* kAttrCipher = "CIPHER";
constexpr const char* kAttrLabel = "LABEL";
constexpr const char* kAttrSSID = "SSID";
constexpr const char* kAttrQuality = "QUALITY";
constexpr const char* kAttrSecurity = "SECURITY";
constexpr const char* kAttrKey = "KEY";
constexpr const char* kAttrPassphrase = "PASSPHRASE";
constexpr const char* kAttrBSSID = "BSSID";
constexpr const char* kAttrAssociation = "ASSOCIATION";
constexpr const char* kAttrRenewal = "RENEWAL";

constexpr std::int32_t kMaxQuality = 100;

struct stXMLStringDeleter {
    void operator()(char* text) const { XMLFreeString(text); }
};

// An attribute's value; `found` tells whether the attribute is there.
std::string Attribute(stXMLNode* node, const char* name, bool& found) {
    std::unique_ptr<char, stXMLStringDeleter> value(XMLGetAttribute(node, name));
    found = value != nullptr;
    return found ? std::string(value.get()) : std::string();
}

// One of a fixed set of words; `fallback` when the attribute is absent.
template <typename T, std::size_t N>
bool Choice(stXMLNode* node, const char* name, const std::pair<const char*, T> (&choices)[N], T fallback,
            T& out, std::string& error) {
    bool found = false;
    const std::string value = Attribute(node, name, found);
    if (!found) {
        out = fallback;
        return true;
    }
    for (const auto& choice : choices) {
        if (value == choice.first) {
            out = choice.second;
            return true;
        }
    }
    error = std::string(name) + "=\"" + value + "\": expected";
    for (std::size_t i = 0; i < N; ++i) {
        error += (i == 0 ? " " : " or ");
        error += choices[i].first;
    }
    return false;
}

bool YesNo(stXMLNode* node, const char* name, bool fallback, bool& out, std::string& error) {
    static const std::pair<const char*, bool> kChoices[] = {{"yes", true}, {"no", false}};
    return Choice(node, name, kChoices, fallback, out, error);
}

// A stable stand-in address for elements that give none: a locally administered unicast
// address (02:...) made from a hash of the text.
void DeriveAddress(const std::string& text, std::uint8_t prefix, std::uint8_t address[kSimAddressBytes]) {
    std::uint32_t hash = 2166136261u;
    for (const char c : text) {
        hash = (hash ^ static_cast<std::uint8_t>(c)) * 16777619u;
    }
    address[0] = 0x02;
    address[1] = prefix;
    address[2] = static_cast<std::uint8_t>(hash >> 24);
    address[3] = static_cast<std::uint8_t>(hash >> 16);
    address[4] = static_cast<std::uint8_t>(hash >> 8);
    address[5] = static_cast<std::uint8_t>(hash);
}

// QUALITY: one to three decimal digits, at most 100.
bool ParseQuality(stXMLNode* node, stSimNetwork& network, std::string& error) {
    bool found = false;
    const std::string quality = Attribute(node, kAttrQuality, found);
    if (!found) {
        return true;
    }
    std::int32_t value = 0;
    bool digits = !quality.empty() && quality.size() <= 3;
    for (const char c : quality) {
        digits = digits && c >= '0' && c <= '9';
        value = value * 10 + (c - '0');
    }
    if (!digits || value > kMaxQuality) {
        error = "QUALITY=\"" + quality + "\": expected 0 to 100";
        return false;
    }
    network.quality = value;
    return true;
}

bool IsPrintable(const std::string& text) {
    for (const char c : text) {
        if (c < 32 || c > 126) {
            return false;
        }
    }
    return true;
}

// KEY and PASSPHRASE, checked against what the network's SECURITY needs.
bool ParseSecret(stXMLNode* node, stSimNetwork& network, std::string& error) {
    bool hasKey = false;
    const std::string key = Attribute(node, kAttrKey, hasKey);
    if (hasKey && !airvane::hex::Decode(key, network.key)) {
        error = "KEY: expected hex digits, two per byte";
        return false;
    }
    bool hasPassphrase = false;
    network.passphrase = Attribute(node, kAttrPassphrase, hasPassphrase);

    switch (network.security) {
    case SIM_SECURITY_NONE:
        if (hasKey || hasPassphrase) {
            error = "an open network takes no KEY or PASSPHRASE";
            return false;
        }
        return true;
    case SIM_SECURITY_WEP:
    case SIM_SECURITY_WEPPLUS:
        if (!hasKey || network.key.size() > kSimMaxKeyBytes || hasPassphrase) {
            error = "a WEP or WEPPLUS network needs a KEY of 1 to 32 bytes and no PASSPHRASE";
            return false;
        }
        return true;
    case SIM_SECURITY_WPAPSK:
        break;
    }
    if (hasKey == hasPassphrase) {
        error = "a WPA-PSK network needs either a KEY or a PASSPHRASE";
        return false;
    }
    if (hasKey && network.key.size() != kSimWpaKeyBytes) {
        error = "a WPA-PSK KEY is 32 bytes (64 hex digits)";
        return false;
    }
    if (hasPassphrase &&
        (!IsPrintable(network.passphrase) || !IsSimPassphraseLength(network.passphrase.size()))) {
        error = "PASSPHRASE must be 8 to 63 printable characters";
        return false;
    }
    return true;
}

// A hardware address attribute, or one derived from `seed` when the attribute is absent.
bool ParseAddress(stXMLNode* node, const char* name, const std::string& seed, std::uint8_t prefix,
                  const char* example, std::uint8_t address[kSimAddressBytes], std::string& error) {
    bool found = false;
    const std::string text = Attribute(node, name, found);
    if (!found) {
        DeriveAddress(seed, prefix, address);
        return true;
    }
    if (!ParseHardwareAddress(text, address)) {
        error = std::string(name) + "=\"" + text + "\": expected six hex bytes such as " + example;
        return false;
    }
    return true;
}

bool ParseNetwork(stXMLNode* node, stSimNetwork& network, std::string& error) {
    bool found = false;
    network.ssid = Attribute(node, kAttrSSID, found);
    if (!found || network.ssid.empty() || network.ssid.size() > kSimMaxSSIDBytes) {
        error = "SSID must be 1 to 32 bytes";
        return false;
    }
    static const std::pair<const char*, enSimSecurity> kSecurity[] = {{"NONE", SIM_SECURITY_NONE},
                                                                      {"WEP", SIM_SECURITY_WEP},
                                                                      {"WEPPLUS", SIM_SECURITY_WEPPLUS},
                                                                      {"WPA-PSK", SIM_SECURITY_WPAPSK}};
    static const std::pair<const char*, enSimAssociation> kAssociation[] = {
        {"accept", SIM_ASSOCIATION_ACCEPT},
        {"refuse", SIM_ASSOCIATION_REFUSE},
        {"ignore", SIM_ASSOCIATION_IGNORE}};
    static const std::pair<const char*, bool> kRenewal[] = {{"accept", true}, {"refuse", false}};
    return ParseQuality(node, network, error) &&
           Choice(node, kAttrSecurity, kSecurity, SIM_SECURITY_NONE, network.security, error) &&
           ParseSecret(node, network, error) &&
           ParseAddress(node, kAttrBSSID, network.ssid, 0x10, "02:00:5E:10:00:01", network.bssid, error) &&
           Choice(node, kAttrAssociation, kAssociation, SIM_ASSOCIATION_ACCEPT, network.association, error) &&
           Choice(node, kAttrRenewal, kRenewal, true, network.acceptsRenewal, error);
}

// NAME, FRIENDLYNAME and LABEL of a SIMADAPTER, and the DEVICE's HARDWAREID.
bool ParseAdapterNames(stXMLNode* device, stXMLNode* node, stSimAdapterConfig& config, std::string& error) {
    bool found = false;
    config.name = Attribute(node, kAttrName, found);
    if (!found || config.name.empty() || config.name.size() > kSimMaxNameBytes) {
        error = "SIMADAPTER needs a NAME of 1 to 255 bytes";
        return false;
    }
    config.friendlyName = Attribute(node, kAttrFriendlyName, found);
    if (!found) {
        config.friendlyName = config.name;
    }
    if (config.friendlyName.size() > kSimMaxNameBytes) {
        error = "FRIENDLYNAME is longer than 255 bytes";
        return false;
    }
    config.label = Attribute(node, kAttrLabel, found);
    if (!found) {
        config.label = config.name;
    }
    // The library keeps no WEP Plus key under an empty label, so such an adapter could never
    // be keyed although it would look connected.
    if (config.label.empty()) {
        error = "LABEL must not be empty";
        return false;
    }
    config.hardwareId = Attribute(device, kAttrHardwareId, found);
    config.wepPlusSupported = CWLANWEPPlusSecureMethod::IsWepPlusAdapter(config.hardwareId.c_str()) != 0;
    return true;
}

// The NETWORK children, each SSID once.
bool ParseNetworks(stXMLNode* node, stSimAdapterConfig& config, std::string& error) {
    std::set<std::string> ssids;
    std::size_t index = 0;
    for (stXMLNode* child = XMLFindChild(node, kElementNetwork); child != nullptr;
         child = XMLFindNextSibling(child, kElementNetwork)) {
        ++index;
        stSimNetwork network;
        if (!ParseNetwork(child, network, error)) {
            error = "NETWORK " + std::to_string(index) + ": " + error;
            return false;
        }
        if (!ssids.insert(network.ssid).second) {
            error = "NETWORK " + std::to_string(index) + ": SSID \"" + network.ssid + "\" given twice";
            return false;
        }
        config.networks.push_back(network);
    }
    return true;
}

bool ParseAdapter(stXMLNode* device, stXMLNode* node, stSimAdapterConfig& config, std::string& error) {
    static const std::pair<const char*, bool> kPrepare[] = {{"ok", true}, {"fail", false}};
    static const std::pair<const char*, bool> kSelect[] = {{"accept", true}, {"refuse", false}};
    static const std::pair<const char*, std::int32_t> kCipher[] = {
        {"NONE", 0}, {"WEP", 1}, {"TKIP", 2}, {"CCMP", 3}};
    return ParseAdapterNames(device, node, config, error) &&
           ParseAddress(node, kAttrAddress, config.name, 0x00, "02:00:5E:00:00:01", config.address, error) &&
           YesNo(node, kAttrPresent, true, config.present, error) &&
           YesNo(node, kAttrHotPlug, false, config.hotPlug, error) &&
           YesNo(node, kAttrReady, true, config.ready, error) &&
           Choice(node, kAttrPrepare, kPrepare, true, config.prepareSucceeds, error) &&
           Choice(node, kAttrSelect, kSelect, true, config.acceptsSelection, error) &&
           YesNo(node, kAttrWpa, true, config.wpaSupported, error) &&
           Choice(node, kAttrCipher, kCipher, 3, config.maxCipher, error) &&
           ParseNetworks(node, config, error);
}

} // namespace

bool ParseHardwareAddress(const std::string& text, std::uint8_t address[kSimAddressBytes]) {
    // Six pairs of hex digits with one separator between pairs: 17 characters.
    if (text.size() != kSimAddressBytes * 3 - 1) {
        return false;
    }
    std::string digits;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i % 3 == 2) {
            if (text[i] != ':' && text[i] != '-') {
                return false;
            }
        } else {
            digits += text[i];
        }
    }
    std::vector<std::uint8_t> bytes;
    if (!airvane::hex::Decode(digits, bytes)) {
        return false;
    }
    for (std::size_t i = 0; i < kSimAddressBytes; ++i) {
        address[i] = bytes[i];
    }
    return true;
}

std::string FormatHardwareAddress(const std::uint8_t address[kSimAddressBytes]) {
    char text[kSimAddressBytes * 3];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", address[0], address[1], address[2],
                  address[3], address[4], address[5]);
    return text;
}

bool ParseSimDevice(stXMLNode* device, stSimAdapterConfig& config, std::string& error) noexcept {
    try {
        if (device == nullptr) {
            error = "no DEVICE element";
            return false;
        }
        stXMLNode* node = XMLFindChild(device, kElementAdapter);
        if (node == nullptr) {
            error = "DEVICE has no SIMADAPTER element";
            return false;
        }
        if (XMLFindNextSibling(node, kElementAdapter) != nullptr) {
            error = "DEVICE has more than one SIMADAPTER element";
            return false;
        }
        stSimAdapterConfig parsed;
        if (!ParseAdapter(device, node, parsed, error)) {
            return false;
        }
        config = parsed;
        return true;
    } catch (const std::exception&) {
        error.clear();
        return false;
    }
}

} // namespace airvane::sim
