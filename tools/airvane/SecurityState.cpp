#include "tools/airvane/SecurityState.h"

#include "airvane/security/WEPPlusSecureMethod.h"
#include "airvane/security/WEPPlusSecureMethodState.h"
#include "airvane/security/WLANState.h"
#include "airvane/security/WPASecureMethodState.h"
#include "tools/airvane/Text.h"

#include <sstream>

namespace airvane::cli {

stSecurityState ClassifySecurity(const CWLANState& state) {
    stSecurityState security;
    const IWLANSecureMethodState* secure = state.m_secureState;
    if (secure == nullptr) {
        return security;
    }
    security.present = true;
    security.uid = secure->GetSecureMethodUID();
    security.method = SecureMethodText(security.uid);
    if (const auto* wpa = dynamic_cast<const CWLANWPAGenSecureMethodState*>(secure)) {
        security.value = wpa->GetWpaState();
        security.kind = "wpa_state";
        security.text = WpaStateText(security.value);
        security.completed = wpa->GetWpaState() == CWLANWPAGenSecureMethodState::WPA_STATE_COMPLETED;
    } else if (const auto* plus = dynamic_cast<const CWLANWEPPlusSecureMethodState*>(secure)) {
        security.value = plus->GetWepPlusState();
        security.kind = "wepplus_state";
        security.text = WepPlusStateText(security.value);
        security.keyed = plus->GetWepPlusState() == CWLANWEPPlusSecureMethodState::WEPPLUS_KEYED;
    }
    return security;
}

std::string stSecurityState::Text() const {
    if (!present) {
        return "none";
    }
    return text.empty() ? method : method + " " + text;
}

std::string stSecurityState::Json() const {
    if (!present) {
        return "null";
    }
    std::ostringstream json;
    json << "{\"method\":" << JsonString(method) << ",\"uid\":" << uid;
    if (!kind.empty()) {
        json << ",\"" << kind << "\":" << value << ",\"state_text\":" << JsonString(text);
    }
    json << "}";
    return json.str();
}

} // namespace airvane::cli
