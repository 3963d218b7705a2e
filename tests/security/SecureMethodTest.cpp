#include "airvane/security/SecureMethod.h"
#include "airvane/security/WEPSecureMethod.h"
#include "airvane/security/WPASecureCapabilities.h"
#include "airvane/security/WPASecureMethodState.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>

namespace {

TEST(SecureMethodRoots, PlainObjectsStandForNoSecurityAndIdentifiersAreFixed) {
    EXPECT_EQ(0, WLAN_SECURE_NONE);
    EXPECT_EQ(1, WLAN_SECURE_WEP);
    EXPECT_EQ(2, WLAN_SECURE_WEPPLUS);
    EXPECT_EQ(3, WLAN_SECURE_WPA);
    EXPECT_EQ(4, WLAN_SECURE_WPAPSK);
    EXPECT_EQ(4u, sizeof(enWLANSecureMethodUID));

    IWLANSecureMethod method;
    EXPECT_EQ(WLAN_SECURE_NONE, method.GetSecureMethodUID());
    EXPECT_EQ(nullptr, method.BuildSecureMethodState());
    std::unique_ptr<IWLANSecureMethod> clone(method.Clone());
    ASSERT_NE(nullptr, clone);
    EXPECT_NE(&method, clone.get());
    EXPECT_EQ(WLAN_SECURE_NONE, clone->GetSecureMethodUID());
    EXPECT_EQ(nullptr, clone->BuildSecureMethodState());
    std::unique_ptr<IWLANSecureMethodState> stateClone(IWLANSecureMethodState().Clone());
    ASSERT_NE(nullptr, stateClone);
    EXPECT_EQ(WLAN_SECURE_NONE, stateClone->GetSecureMethodUID());
    std::unique_ptr<IWLANSecureCapabilities> capabilitiesClone(IWLANSecureCapabilities().Clone());
    ASSERT_NE(nullptr, capabilitiesClone);
    EXPECT_EQ(WLAN_SECURE_NONE, capabilitiesClone->GetSecureMethodUID());
}

// Exposes the raw key bytes, which the interface only shows up to the key length.
class CInspectableWEP : public CWLANWEPSecureMethod {
public:
    const unsigned char* RawKey() const { return m_key; }
};

// Identifier, mode, length and what GetKey writes into the first bytes of a buffer of 0xEE.
std::string Describe(const CWLANWEPSecureMethod& wep) {
    unsigned char out[32];
    std::memset(out, 0xEE, sizeof(out));
    std::string text = "uid=" + std::to_string(wep.GetSecureMethodUID()) +
                       " mode=" + std::to_string(wep.GetMode()) +
                       " bits=" + std::to_string(wep.GetKeySizeInBit()) +
                       " get=" + std::to_string(wep.GetKey(out)) + " key=";
    for (std::size_t i = 0; i < 14; ++i) {
        text += "0123456789ABCDEF"[out[i] >> 4];
        text += "0123456789ABCDEF"[out[i] & 0xF];
    }
    return text;
}

TEST(WEPSecureMethod, SetKeyRules) {
    CWLANWEPSecureMethod fresh;
    EXPECT_EQ("uid=1 mode=1 bits=0 get=1 key=EEEEEEEEEEEEEEEEEEEEEEEEEEEE", Describe(fresh));
    std::unique_ptr<IWLANSecureMethodState> state(fresh.BuildSecureMethodState());
    ASSERT_NE(nullptr, state);
    EXPECT_EQ(WLAN_SECURE_WEP, state->GetSecureMethodUID());
    std::unique_ptr<IWLANSecureMethodState> stateClone(state->Clone());
    ASSERT_NE(nullptr, stateClone);
    EXPECT_EQ(WLAN_SECURE_WEP, stateClone->GetSecureMethodUID());

    std::array<unsigned char, 32> key{};
    for (std::size_t i = 0; i < key.size(); ++i) {
        key[i] = static_cast<unsigned char>(0xA0 + i);
    }
    CInspectableWEP wep;
    ASSERT_EQ(1, wep.SetKey(key.data(), 256)); // up to 256 bits
    std::array<unsigned char, 32> out{};
    ASSERT_EQ(1, wep.GetKey(out.data()));
    EXPECT_EQ(key, out);
    const std::array<unsigned char, 33> other{};
    EXPECT_EQ(0, wep.SetKey(other.data(), 257)); // refused, nothing changes
    EXPECT_EQ(0, wep.SetKey(nullptr, 104));      // bytes without a key: refused
    EXPECT_EQ(256u, wep.GetKeySizeInBit());
    EXPECT_EQ(0, std::memcmp(key.data(), wep.RawKey(), 32));

    // The length is kept unrounded, the bytes round down, and bytes beyond keep their value.
    const unsigned char shorter[2] = {0x5A, 0x6B};
    ASSERT_EQ(1, wep.SetKey(shorter, 12));
    EXPECT_EQ("uid=1 mode=1 bits=12 get=1 key=5AEEEEEEEEEEEEEEEEEEEEEEEEEE", Describe(wep));
    EXPECT_EQ(0, std::memcmp(key.data() + 1, wep.RawKey() + 1, 31));
    // Empty keys copy nothing.
    EXPECT_EQ(1, wep.SetKey(shorter, 0));
    EXPECT_EQ("uid=1 mode=1 bits=0 get=1 key=EEEEEEEEEEEEEEEEEEEEEEEEEEEE", Describe(wep));
    EXPECT_EQ(1, wep.SetKey(nullptr, 7));
    EXPECT_EQ("uid=1 mode=1 bits=7 get=1 key=EEEEEEEEEEEEEEEEEEEEEEEEEEEE", Describe(wep));
    EXPECT_EQ(0, wep.GetKey(nullptr));

    wep.SetMode(static_cast<CWLANWEPSecureMethod::enMode>(0x7FFF1234)); // stored unchecked
    EXPECT_EQ(0x7FFF1234, wep.GetMode());
    wep.SetMode(CWLANWEPSecureMethod::WEP_MODE_AUTO);
    EXPECT_EQ(0, wep.GetMode());
}

TEST(WEPSecureMethod, CopiesCarryKeyLengthAllKeyBytesAndMode) {
    const unsigned char full[32] = {0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7,
                                    0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
    const unsigned char key[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    CInspectableWEP wep;
    ASSERT_EQ(1, wep.SetKey(full, 256));
    ASSERT_EQ(1, wep.SetKey(key, 104));
    wep.SetMode(static_cast<CWLANWEPSecureMethod::enMode>(9));
    const std::string expected = "uid=1 mode=9 bits=104 get=1 key=0102030405060708090A0B0C0DEE";
    EXPECT_EQ(expected, Describe(wep));
    std::unique_ptr<IWLANSecureMethod> clone(wep.Clone());
    ASSERT_NE(nullptr, clone);
    ASSERT_EQ(WLAN_SECURE_WEP, clone->GetSecureMethodUID());
    EXPECT_EQ(expected, Describe(*static_cast<CWLANWEPSecureMethod*>(clone.get())));
    // All 32 key bytes travel, not just the counted ones.
    CInspectableWEP copied(wep);
    CInspectableWEP assigned;
    assigned = wep;
    for (const CInspectableWEP* copy : {&copied, &assigned}) {
        EXPECT_EQ(expected, Describe(*copy));
        EXPECT_EQ(0, std::memcmp(wep.RawKey(), copy->RawKey(), 32));
    }
}

TEST(WPAGenRecords, StateAndCapabilitiesCarryTheirValuesThroughCopies) {
    using State = CWLANWPAGenSecureMethodState;
    State state(WLAN_SECURE_WPAPSK, State::WPA_STATE_COMPLETED);
    std::unique_ptr<IWLANSecureMethodState> stateClone(state.Clone());
    ASSERT_NE(nullptr, stateClone);
    State assignedState(WLAN_SECURE_WPA, State::WPA_STATE_UNKNOWN);
    assignedState = state;
    for (const State* copy : std::initializer_list<const State*>{
             &state, static_cast<const State*>(stateClone.get()), &assignedState}) {
        EXPECT_EQ(WLAN_SECURE_WPAPSK, copy->GetSecureMethodUID());
        EXPECT_EQ(6, copy->GetWpaState());
    }
    // The cipher is kept unchanged, even outside the named values.
    using Capabilities = CWLANWPAGenSecureCapabilities;
    Capabilities capabilities(static_cast<Capabilities::enWPACipher>(77));
    std::unique_ptr<IWLANSecureCapabilities> capabilitiesClone(capabilities.Clone());
    ASSERT_NE(nullptr, capabilitiesClone);
    Capabilities assigned(Capabilities::WPA_CIPHER_TKIP);
    assigned = capabilities;
    for (const Capabilities* copy : std::initializer_list<const Capabilities*>{
             &capabilities, static_cast<const Capabilities*>(capabilitiesClone.get()), &assigned}) {
        EXPECT_EQ(WLAN_SECURE_WPA, copy->GetSecureMethodUID());
        EXPECT_EQ(77, copy->GetMaxSupportedCipher());
    }
}

} // namespace
