#pragma once

#include <cstdint>

// Generic error codes that adapter plug-ins report through GetGeneriqueLastError. The
// manager itself only ever produces WLAN_ERROR_NONE (when it finds no adapter to ask);
// every other value comes from a plug-in. The values below are the conventions plug-ins
// built against this header share, so that a host can react to them without knowing the
// plug-in; a plug-in may return further values of its own above WLAN_ERROR_PLUGIN_BASE.
enum en_WLANLastError : std::int32_t {
    WLAN_ERROR_NONE = 0,                      // no error recorded
    WLAN_ERROR_FAILURE = 1,                   // failure without a more precise code
    WLAN_ERROR_HARDWARE_UNAVAILABLE = 2,      // the device is absent or switched off
    WLAN_ERROR_NOT_PRECONFIGURED = 3,         // the adapter could not be made ready
    WLAN_ERROR_NOT_SELECTED = 4,              // an operation that needs the selection was refused
    WLAN_ERROR_SECURE_METHOD_UNSUPPORTED = 5, // the profile's secure method is not supported
    WLAN_ERROR_INVALID_PROFILE = 6,           // the profile is incomplete or inconsistent
    WLAN_ERROR_NETWORK_NOT_FOUND = 7,         // no network with the profile's SSID is in range
    WLAN_ERROR_ASSOCIATION_FAILED = 8,        // the network refused the association
    WLAN_ERROR_AUTHENTICATION_FAILED = 9,     // keys or pass phrase rejected
    WLAN_ERROR_DRIVER = 10,                   // the underlying driver reported an error
    WLAN_ERROR_OUT_OF_MEMORY = 11,            // the plug-in ran out of memory
    WLAN_ERROR_PLUGIN_BASE = 0x1000,          // first value free for plug-in specific codes
};
