#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct nl_sock;

namespace airvane::linux_wlan {

// A wireless network interface as nl80211 lists it.
struct stWirelessInterface {
    std::uint32_t index = 0;
    std::string name;
    std::uint8_t address[6] = {};
    std::uint32_t type = 0; // nl80211 interface type (2 is a station)
    std::uint32_t wiphy = 0;
};

// The signal of an access point whose driver reports none: as weak as the scan quality goes.
inline constexpr std::int32_t kNoSignalMbm = -10000;

// One access point of a scan.
struct stScanEntry {
    std::uint8_t bssid[6] = {};
    std::string ssid;           // from the SSID element; empty for a hidden network
    std::int32_t signalMbm = 0; // signal in 1/100 dBm; kNoSignalMbm when the driver gives none
    std::uint16_t capability = 0;
    std::vector<std::uint8_t> elements; // information elements of the beacon or probe response
    bool associated = false;            // this interface is associated with it
};

// Why the last nl80211 operation failed (for the plug-in's last error).
enum enNlFailure {
    NL_FAILURE_NONE,
    NL_FAILURE_NO_FAMILY,    // the kernel has no nl80211 (no cfg80211)
    NL_FAILURE_PERMISSION,   // the operation needs CAP_NET_ADMIN
    NL_FAILURE_NO_INTERFACE, // the interface is gone
    NL_FAILURE_SCAN_TIMEOUT, // no scan results within the time allowed
    NL_FAILURE_OTHER,
};

// nl80211 over generic netlink (libnl-genl-3). Every call opens its own socket, so the
// object holds no kernel resources between calls.
class CNl80211 {
public:
    // Wireless interfaces; empty (with the failure) when nl80211 is missing.
    std::vector<stWirelessInterface> ListInterfaces();
    // Triggers a scan on the interface and waits up to `timeoutMs` for its results. The
    // socket joins the scan multicast group before the trigger so the result notice cannot
    // be missed; a scan already running (someone else's) is waited for instead.
    bool Scan(std::uint32_t ifindex, int timeoutMs);
    // The kernel's current scan results for the interface.
    bool ScanResults(std::uint32_t ifindex, std::vector<stScanEntry>& entries);

    enNlFailure LastFailure() const { return m_failure; }

private:
    // A connected socket with the nl80211 family resolved into `family`, or null.
    nl_sock* Connect(int& family);
    void Fail(enNlFailure failure) { m_failure = failure; }
    void FailFromError(int error);

    enNlFailure m_failure = NL_FAILURE_NONE;
};

// Scan quality 0..100 from a signal in dBm: -100 dBm and below give 0, -50 dBm and above
// give 100, linear in between (2 points per dB).
inline std::uint32_t QualityFromDbm(std::int32_t dbm) {
    if (dbm <= -100) {
        return 0;
    }
    if (dbm >= -50) {
        return 100;
    }
    return static_cast<std::uint32_t>(2 * (dbm + 100));
}

} // namespace airvane::linux_wlan
