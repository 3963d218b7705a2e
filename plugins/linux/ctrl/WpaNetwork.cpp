#include "plugins/linux/ctrl/WpaNetwork.h"

#include "airvane/Hex.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace airvane::linux_wlan {

namespace {

constexpr const char kBlockOpen[] = "network={";
constexpr const char kTempDisabledEvent[] = "CTRL-EVENT-SSID-TEMP-DISABLED ";
constexpr const char kWrongKeyReason[] = " reason=WRONG_KEY";
// The settings of the block the library writes, the only ones passed on.
constexpr const char* kBlockSettings[] = {"ssid", "psk", "priority", "key_mgmt"};

// Trims in place: erasing never reallocates, so no copy of a text holding a key is left behind.
void TrimInPlace(std::string& text) {
    text.erase(0, std::min(text.size(), text.find_first_not_of(" \t\r")));
    text.erase(text.find_last_not_of(" \t\r") + 1);
}

std::string Trim(std::string text) {
    TrimInPlace(text);
    return text;
}

bool IsBlockSetting(const std::string& name) {
    return std::find(std::begin(kBlockSettings), std::end(kBlockSettings), name) != std::end(kBlockSettings);
}

bool HasField(const std::vector<stNetworkField>& fields, const std::string& name) {
    return std::any_of(fields.begin(), fields.end(), [&](const stNetworkField& f) { return f.name == name; });
}

// Wipes a text that may hold key material when the scope ends, whichever way it ends.
struct stWipeOnExit {
    std::string& text;
    ~stWipeOnExit() { security::SecureWipeString(text); }
};

bool HasControlCharacter(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return true;
        }
    }
    return false;
}

// A whole number that fills `text`, or -1.
int ParseId(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    return std::atoi(text.c_str());
}

// One line of a LIST_NETWORKS reply (the BSSID left out).
struct stListedNetwork {
    int id;
    std::string ssid;
    std::string flags;
};

// The networks wpa_supplicant lists; false when it does not answer.
bool ListNetworks(CWpaControl& control, std::vector<stListedNetwork>& networks) {
    std::string listing;
    if (!control.Request("LIST_NETWORKS", listing)) {
        return false;
    }
    std::istringstream lines(listing);
    std::string line;
    std::getline(lines, line); // column headings
    while (std::getline(lines, line)) {
        std::vector<std::string> columns;
        std::istringstream fields(line);
        for (std::string column; std::getline(fields, column, '\t');) {
            columns.push_back(column);
        }
        const int id = columns.empty() ? -1 : ParseId(columns[0]);
        if (id >= 0) {
            networks.push_back(
                {id, columns.size() > 1 ? columns[1] : "", columns.size() > 3 ? columns[3] : ""});
        }
    }
    return true;
}

// Removes what an unanswered ADD_NETWORK may have added (see AddNetwork).
void RemoveUnansweredAddition(CWpaControl& control, int newestBefore) {
    std::vector<stListedNetwork> networks;
    if (!ListNetworks(control, networks)) {
        return;
    }
    for (const stListedNetwork& network : networks) {
        if (network.id > newestBefore && network.ssid.empty() &&
            network.flags.find("[DISABLED]") != std::string::npos) {
            RemoveNetwork(control, network.id);
        }
    }
}

} // namespace

std::string HexSSID(const std::string& ssid) {
    return airvane::hex::Encode(ssid.data(), ssid.size(), airvane::hex::HEX_LOWER);
}

bool ParseNetworkBlock(const char* block, std::vector<stNetworkField>& fields, std::string& error) {
    fields.clear();
    if (block == nullptr) {
        error = "no network block";
        return false;
    }
    // The block holds the pass phrase. Its lines are read into one buffer that is large enough
    // for any of them, so it never grows, and that is wiped however the reading ends.
    std::string line;
    line.reserve(std::strlen(block));
    const stWipeOnExit wipe{line};
    bool open = false;
    bool closed = false;
    for (const char* at = block; *at != '\0';) {
        const char* end = std::strchr(at, '\n');
        end = end != nullptr ? end : at + std::strlen(at);
        line.assign(at, end);
        at = *end != '\0' ? end + 1 : end;
        TrimInPlace(line);
        if (line.empty()) {
            continue;
        }
        if (closed) {
            error = "text after the network block";
            return false;
        }
        if (!open) {
            open = line == kBlockOpen;
            if (!open) {
                error = "network block does not start with network={";
                return false;
            }
            continue;
        }
        if (line == "}") {
            closed = true;
            continue;
        }
        const auto equals = line.find('=');
        stNetworkField field{line.substr(0, equals),
                             equals == std::string::npos ? "" : line.substr(equals + 1)};
        // An unknown name may be a piece of the pass phrase, so the reason does not repeat it.
        if (!IsBlockSetting(field.name)) {
            error = "network block line without a known setting";
            return false;
        }
        if (HasField(fields, field.name) || field.value.empty() || HasControlCharacter(field.value)) {
            error = "malformed network block line: " + field.name;
            return false;
        }
        if (field.name == "ssid") {
            if (field.value.size() < 2 || field.value.front() != '"' || field.value.back() != '"') {
                error = "the SSID is not quoted";
                return false;
            }
            field.value = HexSSID(field.value.substr(1, field.value.size() - 2));
        }
        fields.push_back(field);
    }
    if (!closed) {
        error = "network block is not closed";
        return false;
    }
    // A network to join with a pass phrase or key: without either, the supplicant would be
    // left to defaults the library never asked for.
    if (!HasField(fields, "ssid") || !HasField(fields, "psk")) {
        error = "network block without ssid or psk";
        return false;
    }
    return true;
}

int AddNetwork(CWpaControl& control, const std::vector<stNetworkField>& fields, std::string& error) {
    std::vector<stListedNetwork> before;
    if (!ListNetworks(control, before)) {
        error = "wpa_supplicant does not answer";
        return -1;
    }
    int newestBefore = -1;
    for (const stListedNetwork& network : before) {
        newestBefore = std::max(newestBefore, network.id);
    }
    std::string reply;
    if (!control.Request("ADD_NETWORK", reply)) {
        RemoveUnansweredAddition(control, newestBefore);
        error = "wpa_supplicant does not answer";
        return -1;
    }
    const int id = ParseId(Trim(reply.substr(0, reply.find('\n'))));
    if (id < 0) {
        error = "wpa_supplicant refused ADD_NETWORK";
        return -1;
    }
    const std::string prefix = "SET_NETWORK " + std::to_string(id) + " ";
    std::vector<stNetworkField> all = fields;
    all.push_back({"id_str", std::string("\"") + kNetworkTag + "\""});
    // The commands carry the values, a key among them: each is built in one buffer, large
    // enough for the longest so that it never grows, and wiped however the loop ends.
    std::size_t longest = 0;
    for (const stNetworkField& field : all) {
        longest = std::max(longest, field.name.size() + 1 + field.value.size());
    }
    std::string command;
    command.reserve(prefix.size() + longest);
    const stWipeOnExit wipe{command};
    for (const stNetworkField& field : all) {
        command.assign(prefix).append(field.name).append(" ").append(field.value);
        if (!control.RequestOk(command)) {
            error = "wpa_supplicant refused the setting " + field.name;
            RemoveNetwork(control, id);
            return -1;
        }
    }
    if (!control.RequestOk("SELECT_NETWORK " + std::to_string(id))) {
        error = "wpa_supplicant refused SELECT_NETWORK";
        RemoveNetwork(control, id);
        return -1;
    }
    return id;
}

bool RemoveNetwork(CWpaControl& control, int id) {
    return control.RequestOk("REMOVE_NETWORK " + std::to_string(id));
}

std::vector<int> TaggedNetworks(CWpaControl& control) {
    std::vector<int> ids;
    std::vector<stListedNetwork> networks;
    if (!ListNetworks(control, networks)) {
        return ids;
    }
    const std::string tag = std::string("\"") + kNetworkTag + "\"";
    for (const stListedNetwork& network : networks) {
        std::string value;
        if (control.Request("GET_NETWORK " + std::to_string(network.id) + " id_str", value) &&
            Trim(value) == tag) {
            ids.push_back(network.id);
        }
    }
    return ids;
}

std::map<std::string, std::string> ParseStatus(const std::string& reply) {
    std::map<std::string, std::string> status;
    std::istringstream lines(reply);
    std::string line;
    while (std::getline(lines, line)) {
        const auto equals = line.find('=');
        if (equals != std::string::npos && equals > 0) {
            status[line.substr(0, equals)] = Trim(line.substr(equals + 1));
        }
    }
    return status;
}

std::int32_t MapWpaState(const std::string& wpaState) {
    static const std::map<std::string, std::int32_t> states = {
        {"DISCONNECTED", 1},    {"INACTIVE", 1},    {"INTERFACE_DISABLED", 1}, {"SCANNING", 2},
        {"AUTHENTICATING", 3},  {"ASSOCIATING", 3}, {"ASSOCIATED", 3},         {"4WAY_HANDSHAKE", 4},
        {"GROUP_HANDSHAKE", 5}, {"COMPLETED", 6},
    };
    const auto found = states.find(wpaState);
    return found != states.end() ? found->second : 0;
}

bool IsWrongKeyEvent(const std::string& event, int id) {
    // Only the last field is the reason: the SSID before it is free text and may hold the
    // same words.
    const std::size_t reasonLength = std::strlen(kWrongKeyReason);
    if (event.compare(0, std::strlen(kTempDisabledEvent), kTempDisabledEvent) != 0 ||
        event.size() < reasonLength ||
        event.compare(event.size() - reasonLength, reasonLength, kWrongKeyReason) != 0) {
        return false;
    }
    const std::string idField = "id=" + std::to_string(id) + " ";
    return event.compare(std::strlen(kTempDisabledEvent), idField.size(), idField) == 0;
}

} // namespace airvane::linux_wlan
