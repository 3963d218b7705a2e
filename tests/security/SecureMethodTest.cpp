#include "airvane/security/SecureMethod.h"
#include "airvane/security/WEPSecureMethod.h"
#include "airvane/security/WPASecureCapabilities.h"
#include "airvane/security/WPASecureMethodState.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

TEST(SecureMethodRoots, PlainObjectsStandForNoSecurity) {
    IWLANSecureMethod method;
    EXPECT_EQ(WLAN_SECURE_NONE, method.GetSecureMethodUID());
    EXPECT_EQ(nullptr, method.BuildSecureMethodState());
    std::unique_ptr<IWLANSecureMethod> clone(method.Clone());
    ASSERT_NE(nullptr, clone);
    EXPECT_NE(&method, clone.get());
    EXPECT_EQ(WLAN_SECURE_NONE, clone->GetSecureMethodUID());
    EXPECT_EQ(nullptr, clone->BuildSecureMethodState());

    IWLANSecureMethodState state;
    std::unique_ptr<IWLANSecureMethodState> stateClone(state.Clone());
    ASSERT_NE(nullptr, stateClone);
    EXPECT_EQ(WLAN_SECURE_NONE, stateClone->GetSecureMethodUID());

    IWLANSecureCapabilities capabilities;
    std::unique_ptr<IWLANSecureCapabilities> capabilitiesClone(capabilities.Clone());
    ASSERT_NE(nullptr, capabilitiesClone);
    EXPECT_EQ(WLAN_SECURE_NONE, capabilitiesClone->GetSecureMethodUID());
}

TEST(SecureMethodRoots, IdentifierValuesAreFixed) {
    EXPECT_EQ(0, WLAN_SECURE_NONE);
    EXPECT_EQ(1, WLAN_SECURE_WEP);
    EXPECT_EQ(2, WLAN_SECURE_WEPPLUS);
    EXPECT_EQ(3, WLAN_SECURE_WPA);
    EXPECT_EQ(4, WLAN_SECURE_WPAPSK);
    EXPECT_EQ(4u, sizeof(enWLANSecureMethodUID));
}

std::array<unsigned char, 32> SampleKey() {
    std::array<unsigned char, 32> key{};
    for (std::size_t i = 0; i < key.size(); ++i) {
        key[i] = static_cast<unsigned char>(0xA0 + i);
    }
    return key;
}

TEST(WEPSecureMethod, FreshObjectDefaults) {
    CWLANWEPSecureMethod wep;
    EXPECT_EQ(WLAN_SECURE_WEP, wep.GetSecureMethodUID());
    EXPECT_EQ(1, wep.GetMode());
    EXPECT_EQ(0u, wep.GetKeySizeInBit());
    std::unique_ptr<IWLANSecureMethodState> state(wep.BuildSecureMethodState());
    ASSERT_NE(nullptr, state);
    EXPECT_EQ(WLAN_SECURE_WEP, state->GetSecureMethodUID());
    std::unique_ptr<IWLANSecureMethodState> stateClone(state->Clone());
    ASSERT_NE(nullptr, stateClone);
    EXPECT_EQ(WLAN_SECURE_WEP, stateClone->GetSecureMethodUID());
}

TEST(WEPSecureMethod, SetKeyAcceptsUpTo256Bits) {
    const auto key = SampleKey();
    CWLANWEPSecureMethod wep;
    ASSERT_EQ(1, wep.SetKey(key.data(), 256));
    EXPECT_EQ(256u, wep.GetKeySizeInBit());
    std::array<unsigned char, 32> out{};
    ASSERT_EQ(1, wep.GetKey(out.data()));
    EXPECT_EQ(key, out);

    const std::array<unsigned char, 33> other{};
    EXPECT_EQ(0, wep.SetKey(other.data(), 257));
    EXPECT_EQ(256u, wep.GetKeySizeInBit());
    out.fill(0);
    ASSERT_EQ(1, wep.GetKey(out.data()));
    EXPECT_EQ(key, out);
}

TEST(WEPSecureMethod, KeyLengthIsKeptUnroundedAndBytesRoundDown) {
    const unsigned char key[2] = {0x5A, 0x6B};
    CWLANWEPSecureMethod wep;
    ASSERT_EQ(1, wep.SetKey(key, 12));
    EXPECT_EQ(12u, wep.GetKeySizeInBit());
    unsigned char out[3] = {0xEE, 0xEE, 0xEE};
    ASSERT_EQ(1, wep.GetKey(out));
    EXPECT_EQ(0x5A, out[0]);
    EXPECT_EQ(0xEE, out[1]); // only one byte written
}

TEST(WEPSecureMethod, EmptyKeysCopyNothing) {
    CWLANWEPSecureMethod wep;
    const unsigned char key[1] = {0x11};
    EXPECT_EQ(1, wep.SetKey(key, 0));
    EXPECT_EQ(0u, wep.GetKeySizeInBit());
    EXPECT_EQ(1, wep.SetKey(nullptr, 7));
    EXPECT_EQ(7u, wep.GetKeySizeInBit());
    unsigned char out[2] = {0xEE, 0xEE};
    EXPECT_EQ(1, wep.GetKey(out));
    EXPECT_EQ(0xEE, out[0]);
    EXPECT_EQ(0, wep.GetKey(nullptr));
}

TEST(WEPSecureMethod, NullKeyWithBytesIsRefused) {
    const unsigned char key[5] = {1, 2, 3, 4, 5};
    CWLANWEPSecureMethod wep;
    ASSERT_EQ(1, wep.SetKey(key, 40));
    EXPECT_EQ(0, wep.SetKey(nullptr, 104));
    EXPECT_EQ(40u, wep.GetKeySizeInBit());
}

// Exposes the raw key bytes, which the interface only shows up to the key length.
class CInspectableWEP : public CWLANWEPSecureMethod {
public:
    const unsigned char* RawKey() const { return m_key; }
};

TEST(WEPSecureMethod, BytesBeyondTheNewKeyKeepTheirValue) {
    const auto key = SampleKey();
    const unsigned char shorter[1] = {0x01};
    CInspectableWEP wep;
    ASSERT_EQ(1, wep.SetKey(key.data(), 256));
    ASSERT_EQ(1, wep.SetKey(shorter, 8));
    EXPECT_EQ(0x01, wep.RawKey()[0]);
    EXPECT_EQ(0, std::memcmp(key.data() + 1, wep.RawKey() + 1, 31));
}

TEST(WEPSecureMethod, ModeIsStoredUnchanged) {
    CWLANWEPSecureMethod wep;
    wep.SetMode(static_cast<CWLANWEPSecureMethod::enMode>(0x7FFF1234));
    EXPECT_EQ(0x7FFF1234, wep.GetMode());
    wep.SetMode(CWLANWEPSecureMethod::WEP_MODE_AUTO);
    EXPECT_EQ(0, wep.GetMode());
}

TEST(WEPSecureMethod, CopiesCarryKeyLengthBytesAndMode) {
    const auto key = SampleKey();
    CWLANWEPSecureMethod wep;
    ASSERT_EQ(1, wep.SetKey(key.data(), 104));
    wep.SetMode(static_cast<CWLANWEPSecureMethod::enMode>(9));

    std::unique_ptr<IWLANSecureMethod> clone(wep.Clone());
    ASSERT_NE(nullptr, clone);
    ASSERT_EQ(WLAN_SECURE_WEP, clone->GetSecureMethodUID());
    auto* cloneWep = static_cast<CWLANWEPSecureMethod*>(clone.get());
    EXPECT_EQ(104u, cloneWep->GetKeySizeInBit());
    EXPECT_EQ(9, cloneWep->GetMode());
    std::array<unsigned char, 32> out{};
    ASSERT_EQ(1, cloneWep->GetKey(out.data()));
    EXPECT_EQ(0, std::memcmp(key.data(), out.data(), 13));

    CWLANWEPSecureMethod assigned;
    assigned = wep;
    EXPECT_EQ(104u, assigned.GetKeySizeInBit());
    EXPECT_EQ(9, assigned.GetMode());

    // All 32 key bytes travel, not just the counted ones.
    const unsigned char shorter[1] = {0x01};
    CInspectableWEP full;
    ASSERT_EQ(1, full.SetKey(key.data(), 256));
    ASSERT_EQ(1, full.SetKey(shorter, 8));
    CInspectableWEP copied(full);
    EXPECT_EQ(0, std::memcmp(full.RawKey(), copied.RawKey(), 32));
    CInspectableWEP target;
    target = full;
    EXPECT_EQ(0, std::memcmp(full.RawKey(), target.RawKey(), 32));
}

TEST(WPAGenSecureMethodState, CarriesIdentifierAndState) {
    CWLANWPAGenSecureMethodState state(WLAN_SECURE_WPAPSK, CWLANWPAGenSecureMethodState::WPA_STATE_COMPLETED);
    EXPECT_EQ(WLAN_SECURE_WPAPSK, state.GetSecureMethodUID());
    EXPECT_EQ(6, state.GetWpaState());
    std::unique_ptr<IWLANSecureMethodState> clone(state.Clone());
    ASSERT_NE(nullptr, clone);
    auto* copy = static_cast<CWLANWPAGenSecureMethodState*>(clone.get());
    EXPECT_EQ(WLAN_SECURE_WPAPSK, copy->GetSecureMethodUID());
    EXPECT_EQ(6, copy->GetWpaState());

    CWLANWPAGenSecureMethodState other(WLAN_SECURE_WPA, CWLANWPAGenSecureMethodState::WPA_STATE_UNKNOWN);
    other = state;
    EXPECT_EQ(WLAN_SECURE_WPAPSK, other.GetSecureMethodUID());
    EXPECT_EQ(6, other.GetWpaState());
}

TEST(WPAGenSecureCapabilities, KeepsTheCipherUnchanged) {
    CWLANWPAGenSecureCapabilities capabilities(static_cast<CWLANWPAGenSecureCapabilities::enWPACipher>(77));
    EXPECT_EQ(WLAN_SECURE_WPA, capabilities.GetSecureMethodUID());
    EXPECT_EQ(77, capabilities.GetMaxSupportedCipher());
    std::unique_ptr<IWLANSecureCapabilities> clone(capabilities.Clone());
    ASSERT_NE(nullptr, clone);
    EXPECT_EQ(WLAN_SECURE_WPA, clone->GetSecureMethodUID());
    EXPECT_EQ(77, static_cast<CWLANWPAGenSecureCapabilities*>(clone.get())->GetMaxSupportedCipher());

    CWLANWPAGenSecureCapabilities other(CWLANWPAGenSecureCapabilities::WPA_CIPHER_TKIP);
    other = capabilities;
    EXPECT_EQ(77, other.GetMaxSupportedCipher());
}

} // namespace
