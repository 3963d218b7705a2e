#include "airvane/security/SecureMethod.h"
#include "airvane/security/WPASecureCapabilities.h"
#include "airvane/security/WPASecureMethodState.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// The identifiers are part of the binary interface: fixed values in a 4-byte field.
static_assert(WLAN_SECURE_NONE == 0 && WLAN_SECURE_WEP == 1 && WLAN_SECURE_WEPPLUS == 2 &&
              WLAN_SECURE_WPA == 3 && WLAN_SECURE_WPAPSK == 4 && sizeof(enWLANSecureMethodUID) == 4);

TEST(SecureMethodRoots, PlainObjectsStandForNoSecurity) {
    IWLANSecureMethod method;
    std::unique_ptr<IWLANSecureMethod> clone(method.Clone());
    ASSERT_NE(nullptr, clone);
    EXPECT_NE(&method, clone.get());
    for (const IWLANSecureMethod* m : {&method, clone.get()}) {
        EXPECT_EQ(WLAN_SECURE_NONE, m->GetSecureMethodUID());
        EXPECT_EQ(nullptr, m->BuildSecureMethodState());
    }
    std::unique_ptr<IWLANSecureMethodState> stateClone(IWLANSecureMethodState().Clone());
    std::unique_ptr<IWLANSecureCapabilities> capabilitiesClone(IWLANSecureCapabilities().Clone());
    ASSERT_TRUE(stateClone && capabilitiesClone);
    EXPECT_EQ(WLAN_SECURE_NONE, stateClone->GetSecureMethodUID());
    EXPECT_EQ(WLAN_SECURE_NONE, capabilitiesClone->GetSecureMethodUID());
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
