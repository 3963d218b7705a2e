#include "plugins/linux/adapter/DeviceOptions.h"

#include "plugins/linux/ctrl/WpaControl.h"

#include "airvane/Hex.h"

#include <cstdio>

namespace airvane::linux_wlan {

namespace {

constexpr const char kElement[] = "LINUXWLAN";
constexpr const char kInterfaceAttribute[] = "INTERFACE";
constexpr const char kAddressAttribute[] = "ADDRESS";
constexpr const char kControlDirAttribute[] = "CONTROLDIR";
// The kernel's limit for interface names, without the terminating zero.
constexpr std::size_t kMaxInterfaceName = 15;

// The attribute's value (copied and released), and whether it is present.
bool ReadAttribute(stXMLNode* node, const char* name, std::string& value) {
    char* text = XMLGetAttribute(node, name);
    if (text == nullptr) {
        return false;
    }
    value = text;
    XMLFreeString(text);
    return true;
}

} // namespace

std::string FormatAddress(const std::uint8_t address[6]) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", address[0], address[1], address[2],
                  address[3], address[4], address[5]);
    return text;
}

bool ParseAddress(const std::string& text, std::uint8_t address[6]) {
    if (text.size() != 17) {
        return false;
    }
    for (std::size_t i = 0; i < 6; ++i) {
        const int high = airvane::hex::DigitValue(text[i * 3]);
        const int low = airvane::hex::DigitValue(text[i * 3 + 1]);
        if (high < 0 || low < 0 || (i < 5 && text[i * 3 + 2] != ':' && text[i * 3 + 2] != '-')) {
            return false;
        }
        address[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return true;
}

bool ParseDeviceOptions(stXMLNode* device, stDeviceOptions& options, std::string& error) {
    options = stDeviceOptions();
    stXMLNode* element = device != nullptr ? XMLFindChild(device, kElement) : nullptr;
    if (element == nullptr) {
        error = std::string("no ") + kElement + " element";
        return false;
    }
    const bool hasName = ReadAttribute(element, kInterfaceAttribute, options.interfaceName);
    if (hasName && (options.interfaceName.empty() || options.interfaceName.size() > kMaxInterfaceName ||
                    options.interfaceName.find('/') != std::string::npos)) {
        error = "invalid INTERFACE '" + options.interfaceName + "'";
        return false;
    }
    std::string address;
    options.hasAddress = ReadAttribute(element, kAddressAttribute, address);
    if (options.hasAddress && !ParseAddress(address, options.address)) {
        error = "invalid ADDRESS '" + address + "'";
        return false;
    }
    if (!hasName && !options.hasAddress) {
        error = "LINUXWLAN needs INTERFACE or ADDRESS";
        return false;
    }
    if (!ReadAttribute(element, kControlDirAttribute, options.controlDir)) {
        options.controlDir = kDefaultControlDir;
    }
    if (ControlSocketPath(options.controlDir, std::string(kMaxInterfaceName, 'x')).empty()) {
        error = "invalid CONTROLDIR '" + options.controlDir + "'";
        return false;
    }
    return true;
}

} // namespace airvane::linux_wlan
