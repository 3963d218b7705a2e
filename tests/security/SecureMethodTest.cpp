#include "airvane/security/SecureMethod.h"
#include "airvane/Hex.h"
#include "airvane/security/WEPSecureMethod.h"
#include "airvane/security/WPASecureCapabilities.h"
#include "airvane/security/WPASecureMethodState.h"

#include "SecurityTestHelpers.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>

namespace {

TEST(SecureMethodRoots, PlainObjectsStandForNoSecurityAndIdentifiersAreFixed) {
    const enWLANSecureMethodUID uids[] = {WLAN_SECURE_NONE, WLAN_SECURE_WEP, WLAN_SECURE_WEPPLUS,
                                          WLAN_SECURE_WPA, WLAN_SECURE_WPAPSK};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(i, uids[i]);
    }
    EXPECT_EQ(4u, sizeof(enWLANSecureMethodUID));

    IWLANSecureMethod method;
    std::unique_ptr<IWLANSecureMethod> clone(method.Clone());
    ASSERT_NE(nullptr, clone);
    EXPECT_NE(&method, clone.get());
    for (const IWLANSecureMethod* m : {&method, clone.get()}) {
        EXPECT_EQ(WLAN_SECURE_NONE, m->GetSecureMethodUID());
        EXPECT_EQ(nullptr, m->BuildSecureMethodState());
    }
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
    const int got = wep.GetKey(out);
    return "uid=" + std::to_string(wep.GetSecureMethodUID()) + " mode=" + std::to_string(wep.GetMode()) +
           " bits=" + std::to_string(wep.GetKeySizeInBit()) + " get=" + std::to_string(got) +
           " key=" + airvane::hex::Encode(out, 14);
}

TEST(WEPSecureMethod, SetKeyRules) {
    const std::string empty = "uid=1 mode=1 bits=0 get=1 key=EEEEEEEEEEEEEEEEEEEEEEEEEEEE";
    CWLANWEPSecureMethod fresh;
    EXPECT_EQ(empty, Describe(fresh));
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
    EXPECT_EQ(empty, Describe(wep));
    EXPECT_EQ(1, wep.SetKey(nullptr, 7));
    EXPECT_EQ("uid=1 mode=1 bits=7 get=1 key=EEEEEEEEEEEEEEEEEEEEEEEEEEEE", Describe(wep));
    EXPECT_EQ(0, wep.GetKey(nullptr));

    wep.SetMode(static_cast<CWLANWEPSecureMethod::enMode>(0x7FFF1234)); // stored unchecked
    EXPECT_EQ(0x7FFF1234, wep.GetMode());
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

// Copies and clones of the WPA state and capability records keep the values, even unnamed ones.
template <typename T, typename Get>
void ExpectCopiesCarry(const T& original, T assigned, Get get, int value) {
    std::unique_ptr<T> clone(static_cast<T*>(original.Clone()));
    ASSERT_NE(nullptr, clone);
    assigned = original;
    for (const T* copy : {&original, static_cast<const T*>(clone.get()), static_cast<const T*>(&assigned)}) {
        EXPECT_EQ(original.GetSecureMethodUID(), copy->GetSecureMethodUID());
        EXPECT_EQ(value, (copy->*get)());
    }
}

TEST(WPAGenRecords, StateAndCapabilitiesCarryTheirValuesThroughCopies) {
    using State = CWLANWPAGenSecureMethodState;
    const State state(WLAN_SECURE_WPAPSK, State::WPA_STATE_COMPLETED);
    EXPECT_EQ(WLAN_SECURE_WPAPSK, state.GetSecureMethodUID());
    ExpectCopiesCarry(state, State(WLAN_SECURE_WPA, State::WPA_STATE_UNKNOWN), &State::GetWpaState, 6);
    using Capabilities = CWLANWPAGenSecureCapabilities;
    const Capabilities capabilities(static_cast<Capabilities::enWPACipher>(77));
    EXPECT_EQ(WLAN_SECURE_WPA, capabilities.GetSecureMethodUID());
    ExpectCopiesCarry(capabilities, Capabilities(Capabilities::WPA_CIPHER_TKIP),
                      &Capabilities::GetMaxSupportedCipher, 77);
}

} // namespace
