// Adds one simulated radio to mac80211_hwsim at run time through its generic netlink
// family, as a new device would appear. Used by the lab's discovery check.

#include <netlink/genl/ctrl.h>
#include <netlink/genl/genl.h>
#include <netlink/netlink.h>

#include <cstdio>

namespace {

constexpr const char kFamily[] = "MAC80211_HWSIM";
constexpr int kNewRadioCommand = 4; // HWSIM_CMD_NEW_RADIO

// The acknowledgement carries the new radio's index (not negative) or a negative errno.
int OnAcknowledgement(sockaddr_nl*, nlmsgerr* error, void* arg) {
    *static_cast<int*>(arg) = error->error;
    return NL_STOP;
}

} // namespace

int main() {
    nl_sock* socket = nl_socket_alloc();
    if (socket == nullptr || genl_connect(socket) != 0) {
        std::fprintf(stderr, "hwsim_new_radio: no generic netlink\n");
        return 1;
    }
    const int family = genl_ctrl_resolve(socket, kFamily);
    nl_msg* message = family >= 0 ? nlmsg_alloc() : nullptr;
    int result = -1;
    if (message != nullptr) {
        genlmsg_put(message, NL_AUTO_PORT, NL_AUTO_SEQ, family, 0, NLM_F_ACK, kNewRadioCommand, 0);
        nl_socket_modify_err_cb(socket, NL_CB_CUSTOM, OnAcknowledgement, &result);
        if (nl_send_auto(socket, message) < 0 || nl_recvmsgs_default(socket) < 0) {
            result = -1;
        }
        nlmsg_free(message);
    }
    nl_socket_free(socket);
    if (result < 0) {
        std::fprintf(stderr, "hwsim_new_radio: %s\n", family < 0 ? "mac80211_hwsim not loaded" : "refused");
        return 1;
    }
    std::printf("hwsim_new_radio: radio %d added\n", result);
    return 0;
}
