#include "plugins/linux/adapter/Nl80211.h"

#include <linux/nl80211.h>
#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

namespace airvane::linux_wlan {

namespace {

constexpr const char kFamilyName[] = "nl80211";
constexpr const char kScanGroup[] = "scan";
constexpr std::uint8_t kSSIDElement = 0;

struct stSocketDeleter {
    void operator()(nl_sock* socket) const { nl_socket_free(socket); }
};
using SocketPtr = std::unique_ptr<nl_sock, stSocketDeleter>;

struct stMessageDeleter {
    void operator()(nl_msg* message) const { nlmsg_free(message); }
};
using MessagePtr = std::unique_ptr<nl_msg, stMessageDeleter>;

struct stCallbackDeleter {
    void operator()(nl_cb* callback) const { nl_cb_put(callback); }
};
using CallbackPtr = std::unique_ptr<nl_cb, stCallbackDeleter>;

// State of one request: the valid-message handler's target and the end of the exchange.
struct stExchange {
    int status = 1; // 1 running, 0 done, negative: error
    void* target = nullptr;
};

int OnFinish(nl_msg*, void* arg) {
    static_cast<stExchange*>(arg)->status = 0;
    return NL_SKIP;
}

int OnAck(nl_msg*, void* arg) {
    static_cast<stExchange*>(arg)->status = 0;
    return NL_STOP;
}

int OnError(sockaddr_nl*, nlmsgerr* error, void* arg) {
    static_cast<stExchange*>(arg)->status = error->error;
    return NL_STOP;
}

// Sends `message` and receives until the kernel ends the exchange; `handler` sees every
// reply message with `target`. Returns 0 or a negative errno.
int Exchange(nl_sock* socket, nl_msg* message, nl_recvmsg_msg_cb_t handler, void* target) {
    CallbackPtr callback(nl_cb_alloc(NL_CB_DEFAULT));
    if (!callback) {
        return -ENOMEM;
    }
    stExchange exchange;
    exchange.target = target;
    if (handler != nullptr) {
        nl_cb_set(callback.get(), NL_CB_VALID, NL_CB_CUSTOM, handler, target);
    }
    nl_cb_set(callback.get(), NL_CB_FINISH, NL_CB_CUSTOM, OnFinish, &exchange);
    nl_cb_set(callback.get(), NL_CB_ACK, NL_CB_CUSTOM, OnAck, &exchange);
    nl_cb_err(callback.get(), NL_CB_CUSTOM, OnError, &exchange);
    if (nl_send_auto(socket, message) < 0) {
        return -EIO;
    }
    while (exchange.status > 0) {
        if (nl_recvmsgs(socket, callback.get()) < 0 && exchange.status > 0) {
            return -EIO;
        }
    }
    return exchange.status;
}

// Sizes of the attributes read with nla_get_*: a message in which one is shorter than its
// type fails to parse, as nla_get_* would read past its end.
struct stPolicies {
    nla_policy attributes[NL80211_ATTR_MAX + 1] = {};
    nla_policy bss[NL80211_BSS_MAX + 1] = {};
    stPolicies() {
        attributes[NL80211_ATTR_IFINDEX].type = NLA_U32;
        attributes[NL80211_ATTR_IFTYPE].type = NLA_U32;
        attributes[NL80211_ATTR_WIPHY].type = NLA_U32;
        bss[NL80211_BSS_SIGNAL_MBM].type = NLA_U32;
        bss[NL80211_BSS_SIGNAL_UNSPEC].type = NLA_U8;
        bss[NL80211_BSS_CAPABILITY].type = NLA_U16;
        bss[NL80211_BSS_STATUS].type = NLA_U32;
    }
};

const stPolicies& Policies() {
    static const stPolicies policies;
    return policies;
}

// Top-level attributes of an nl80211 message.
bool ParseAttributes(nl_msg* message, nlattr* attributes[NL80211_ATTR_MAX + 1]) {
    auto* header = static_cast<genlmsghdr*>(nlmsg_data(nlmsg_hdr(message)));
    return nla_parse(attributes, NL80211_ATTR_MAX, genlmsg_attrdata(header, 0), genlmsg_attrlen(header, 0),
                     Policies().attributes) == 0;
}

int OnInterface(nl_msg* message, void* arg) {
    auto* interfaces = static_cast<std::vector<stWirelessInterface>*>(arg);
    nlattr* attributes[NL80211_ATTR_MAX + 1] = {};
    if (!ParseAttributes(message, attributes) || attributes[NL80211_ATTR_IFINDEX] == nullptr ||
        attributes[NL80211_ATTR_IFNAME] == nullptr) {
        return NL_SKIP;
    }
    stWirelessInterface found;
    found.index = nla_get_u32(attributes[NL80211_ATTR_IFINDEX]);
    const auto* name = static_cast<const char*>(nla_data(attributes[NL80211_ATTR_IFNAME]));
    found.name.assign(name,
                      strnlen(name, static_cast<std::size_t>(nla_len(attributes[NL80211_ATTR_IFNAME]))));
    if (attributes[NL80211_ATTR_MAC] != nullptr && nla_len(attributes[NL80211_ATTR_MAC]) == 6) {
        std::memcpy(found.address, nla_data(attributes[NL80211_ATTR_MAC]), 6);
    }
    if (attributes[NL80211_ATTR_IFTYPE] != nullptr) {
        found.type = nla_get_u32(attributes[NL80211_ATTR_IFTYPE]);
    }
    if (attributes[NL80211_ATTR_WIPHY] != nullptr) {
        found.wiphy = nla_get_u32(attributes[NL80211_ATTR_WIPHY]);
    }
    interfaces->push_back(found);
    return NL_SKIP;
}

// The SSID element's text from a list of information elements; elements are walked with
// their lengths checked so that a truncated list ends the walk.
std::string FindSSID(const std::vector<std::uint8_t>& elements) {
    std::size_t at = 0;
    while (at + 2 <= elements.size()) {
        const std::size_t length = elements[at + 1];
        if (at + 2 + length > elements.size()) {
            break;
        }
        if (elements[at] == kSSIDElement) {
            return std::string(elements.begin() + static_cast<std::ptrdiff_t>(at + 2),
                               elements.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
        }
        at += 2 + length;
    }
    return std::string();
}

int OnScanEntry(nl_msg* message, void* arg) {
    auto* entries = static_cast<std::vector<stScanEntry>*>(arg);
    nlattr* attributes[NL80211_ATTR_MAX + 1] = {};
    nlattr* bss[NL80211_BSS_MAX + 1] = {};
    if (!ParseAttributes(message, attributes) || attributes[NL80211_ATTR_BSS] == nullptr ||
        nla_parse_nested(bss, NL80211_BSS_MAX, attributes[NL80211_ATTR_BSS], Policies().bss) != 0 ||
        bss[NL80211_BSS_BSSID] == nullptr || nla_len(bss[NL80211_BSS_BSSID]) != 6) {
        return NL_SKIP;
    }
    stScanEntry entry;
    std::memcpy(entry.bssid, nla_data(bss[NL80211_BSS_BSSID]), 6);
    if (bss[NL80211_BSS_SIGNAL_MBM] != nullptr) {
        entry.signalMbm = static_cast<std::int32_t>(nla_get_u32(bss[NL80211_BSS_SIGNAL_MBM]));
    } else if (bss[NL80211_BSS_SIGNAL_UNSPEC] != nullptr) {
        // Drivers without a calibrated signal give 0..100: spread over -100..-50 dBm, the range
        // the scan quality is read from, so that such networks still sort by strength.
        const int level = std::min<int>(nla_get_u8(bss[NL80211_BSS_SIGNAL_UNSPEC]), 100);
        entry.signalMbm = (level / 2 - 100) * 100;
    } else {
        entry.signalMbm = kNoSignalMbm;
    }
    if (bss[NL80211_BSS_CAPABILITY] != nullptr) {
        entry.capability = nla_get_u16(bss[NL80211_BSS_CAPABILITY]);
    }
    nlattr* elements = bss[NL80211_BSS_INFORMATION_ELEMENTS] != nullptr
                           ? bss[NL80211_BSS_INFORMATION_ELEMENTS]
                           : bss[NL80211_BSS_BEACON_IES];
    if (elements != nullptr) {
        const auto* bytes = static_cast<const std::uint8_t*>(nla_data(elements));
        entry.elements.assign(bytes, bytes + nla_len(elements));
    }
    entry.ssid = FindSSID(entry.elements);
    entry.associated = bss[NL80211_BSS_STATUS] != nullptr &&
                       nla_get_u32(bss[NL80211_BSS_STATUS]) == NL80211_BSS_STATUS_ASSOCIATED;
    entries->push_back(entry);
    return NL_SKIP;
}

// Notices of the scan group: records whether our interface's scan ended, and how.
struct stScanWait {
    std::uint32_t ifindex = 0;
    int result = 0; // 0 waiting, 1 results, -1 aborted
};

int OnScanNotice(nl_msg* message, void* arg) {
    auto* wait = static_cast<stScanWait*>(arg);
    auto* header = static_cast<genlmsghdr*>(nlmsg_data(nlmsg_hdr(message)));
    nlattr* attributes[NL80211_ATTR_MAX + 1] = {};
    if (!ParseAttributes(message, attributes) || attributes[NL80211_ATTR_IFINDEX] == nullptr ||
        nla_get_u32(attributes[NL80211_ATTR_IFINDEX]) != wait->ifindex) {
        return NL_SKIP;
    }
    if (header->cmd == NL80211_CMD_NEW_SCAN_RESULTS) {
        wait->result = 1;
    } else if (header->cmd == NL80211_CMD_SCAN_ABORTED) {
        wait->result = -1;
    }
    return NL_SKIP;
}

int NoSequenceCheck(nl_msg*, void*) {
    return NL_OK;
}

} // namespace

nl_sock* CNl80211::Connect(int& family) {
    SocketPtr socket(nl_socket_alloc());
    if (!socket || genl_connect(socket.get()) != 0) {
        Fail(NL_FAILURE_OTHER);
        return nullptr;
    }
    family = genl_ctrl_resolve(socket.get(), kFamilyName);
    if (family < 0) {
        Fail(NL_FAILURE_NO_FAMILY);
        return nullptr;
    }
    return socket.release();
}

void CNl80211::FailFromError(int error) {
    switch (error) {
    case -EPERM:
    case -EACCES:
        Fail(NL_FAILURE_PERMISSION);
        break;
    case -ENODEV:
        Fail(NL_FAILURE_NO_INTERFACE);
        break;
    default:
        Fail(NL_FAILURE_OTHER);
        break;
    }
}

std::vector<stWirelessInterface> CNl80211::ListInterfaces() {
    m_failure = NL_FAILURE_NONE;
    std::vector<stWirelessInterface> interfaces;
    int family = 0;
    SocketPtr socket(Connect(family));
    MessagePtr message(nlmsg_alloc());
    if (!socket || !message) {
        return interfaces;
    }
    genlmsg_put(message.get(), NL_AUTO_PORT, NL_AUTO_SEQ, family, 0, NLM_F_DUMP, NL80211_CMD_GET_INTERFACE,
                0);
    const int error = Exchange(socket.get(), message.get(), OnInterface, &interfaces);
    if (error != 0) {
        FailFromError(error);
    }
    return interfaces;
}

bool CNl80211::ScanResults(std::uint32_t ifindex, std::vector<stScanEntry>& entries) {
    m_failure = NL_FAILURE_NONE;
    entries.clear();
    int family = 0;
    SocketPtr socket(Connect(family));
    MessagePtr message(nlmsg_alloc());
    if (!socket || !message) {
        return false;
    }
    genlmsg_put(message.get(), NL_AUTO_PORT, NL_AUTO_SEQ, family, 0, NLM_F_DUMP, NL80211_CMD_GET_SCAN, 0);
    nla_put_u32(message.get(), NL80211_ATTR_IFINDEX, ifindex);
    const int error = Exchange(socket.get(), message.get(), OnScanEntry, &entries);
    if (error != 0) {
        FailFromError(error);
        return false;
    }
    return true;
}

bool CNl80211::Scan(std::uint32_t ifindex, int timeoutMs) {
    m_failure = NL_FAILURE_NONE;
    int family = 0;
    SocketPtr notices(Connect(family));
    SocketPtr requests(notices ? Connect(family) : nullptr);
    if (!notices || !requests) {
        return false;
    }
    const int group = genl_ctrl_resolve_grp(notices.get(), kFamilyName, kScanGroup);
    if (group < 0 || nl_socket_add_membership(notices.get(), group) != 0) {
        Fail(NL_FAILURE_OTHER);
        return false;
    }
    MessagePtr trigger(nlmsg_alloc());
    MessagePtr ssids(nlmsg_alloc());
    if (!trigger || !ssids) {
        Fail(NL_FAILURE_OTHER);
        return false;
    }
    genlmsg_put(trigger.get(), NL_AUTO_PORT, NL_AUTO_SEQ, family, 0, 0, NL80211_CMD_TRIGGER_SCAN, 0);
    nla_put_u32(trigger.get(), NL80211_ATTR_IFINDEX, ifindex);
    // One empty SSID: an active scan with wildcard probe requests.
    nla_put(ssids.get(), 1, 0, "");
    nla_put_nested(trigger.get(), NL80211_ATTR_SCAN_SSIDS, ssids.get());
    const int error = Exchange(requests.get(), trigger.get(), nullptr, nullptr);
    if (error != 0 && error != -EBUSY) {
        FailFromError(error);
        return false;
    }

    CallbackPtr callback(nl_cb_alloc(NL_CB_DEFAULT));
    if (!callback) {
        Fail(NL_FAILURE_OTHER);
        return false;
    }
    stScanWait wait;
    wait.ifindex = ifindex;
    nl_cb_set(callback.get(), NL_CB_SEQ_CHECK, NL_CB_CUSTOM, NoSequenceCheck, nullptr);
    nl_cb_set(callback.get(), NL_CB_VALID, NL_CB_CUSTOM, OnScanNotice, &wait);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (wait.result == 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            Fail(NL_FAILURE_SCAN_TIMEOUT);
            return false;
        }
        pollfd ready{nl_socket_get_fd(notices.get()), POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left.count())) > 0 &&
            nl_recvmsgs(notices.get(), callback.get()) < 0) {
            Fail(NL_FAILURE_OTHER);
            return false;
        }
    }
    if (wait.result < 0) {
        Fail(NL_FAILURE_OTHER);
        return false;
    }
    return true;
}

} // namespace airvane::linux_wlan
