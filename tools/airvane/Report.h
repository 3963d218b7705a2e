#pragma once

#include "airvane/manager/WLANLastError.h"
#include "tools/airvane/ConfigCheck.h"
#include "tools/airvane/SecurityState.h"

#include <cstdint>
#include <string>
#include <vector>

// What the airvane commands found out, as plain records; the renderers turn them into text
// or JSON.
namespace airvane::cli {

struct stAdapterEntry {
    std::string name;
    std::string friendlyName;
    std::string info; // the plug-in's information block as text, or as hex digits
};

// Secure methods an adapter supports, and its strongest WPA cipher ("" without WPA).
struct stSupport {
    std::vector<std::int32_t> methods;
    std::string maxCipher;
};

struct stNetworkEntry {
    std::string ssid;
    std::int32_t quality = 0;
};

// `status` (without the networks) and `scan` (with them).
struct stStateReport {
    std::string adapter;
    std::string friendlyName;
    std::int32_t link = 0;
    stSecurityState security;
    stSupport support;
    bool listNetworks = false;
    std::vector<stNetworkEntry> networks;
    std::uint32_t networksInRange = 0;
};

// One change of link status or security state seen while connecting.
struct stEvent {
    std::string kind; // "link" or "security"
    std::int32_t value = 0;
    std::string text;
};

// What a connect command is about; its failures carry it too.
struct stConnectContext {
    std::string adapter;
    std::string ssid;
    std::string method; // the security asked for: "open", "WEP", "WEP Plus", "WPA-PSK"
    std::vector<stEvent> events;
};

struct stConnectReport {
    const stConnectContext* context = nullptr;
    std::int32_t link = 0;
    stSecurityState security;
};

struct stIEReport {
    unsigned long flags = 0;
    std::vector<std::string> names;
};

struct stConfigReport {
    std::string file;
    std::string tree;
    std::vector<stReaderTrap> findings;
};

struct stFailure {
    int status = 1;
    std::string message;
    std::vector<std::string> reasons;
    bool hasAdapterError = false;
    en_WLANLastError generic = WLAN_ERROR_NONE;
    std::uint32_t specific = 0;
    const stConnectContext* connect = nullptr; // set for the failures of a connect command
};

} // namespace airvane::cli
