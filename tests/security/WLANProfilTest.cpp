#include "airvane/security/WLANProfil.h"

#include "airvane/security/WEPPlusSecureMethod.h"
#include "airvane/security/WEPSecureMethod.h"
#include "airvane/security/WPAPSKSecureMethod.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

// The SSID, the identifier of the selected method ("null" without one) and, for WEP Plus and
// WPA-PSK, whether the object is of that class.
template <typename P> std::string Describe(P&& profile) {
    IWLANSecureMethod* const method = profile.GetSecureMethodIF();
    return std::string(profile.GetSSID()) + "/" +
           (method != nullptr ? std::to_string(method->GetSecureMethodUID()) : "null") +
           (dynamic_cast<CWLANWEPPlusSecureMethod*>(method) != nullptr ? " wep-plus" : "") +
           (dynamic_cast<CWLANWPAPSKSecureMethod*>(method) != nullptr ? " wpa-psk" : "");
}

TEST(WLANProfil, ConstructorsSSIDAndSelection) {
    CWLANProfil profile;
    CWLANProfil named("Office");
    EXPECT_EQ("/0", Describe(profile));
    EXPECT_EQ("Office/0", Describe(named));
    EXPECT_EQ("Lab/2 wep-plus", Describe(CWLANProfil("Lab", WLAN_SECURE_WEPPLUS)));
    EXPECT_EQ("/0", Describe(CWLANProfil(nullptr)));
    EXPECT_EQ("/null", Describe(CWLANProfil(nullptr, static_cast<enWLANSecureMethodUID>(99))));
    EXPECT_EQ(1, named.SetSSID("second network"));
    EXPECT_EQ("second network/0", Describe(named));
    EXPECT_EQ(1, named.SetSSID(nullptr));
    EXPECT_EQ("/0", Describe(named));
    const std::pair<int, const char*> selections[] = {{0, "/0"},         {1, "/1"},    {2, "/2 wep-plus"},
                                                      {4, "/4 wpa-psk"}, {3, "/null"}, {7, "/null"},
                                                      {-1, "/null"}};
    for (const auto& [uid, expected] : selections) {
        EXPECT_EQ(1, profile.SelectSecureMethod(static_cast<enWLANSecureMethodUID>(uid)));
        EXPECT_EQ(expected, Describe(profile)) << uid;
    }
}

std::string PasswordOf(CWLANProfil& profile) {
    profile.SelectSecureMethod(WLAN_SECURE_WPAPSK);
    std::string password;
    auto* const method = static_cast<CWLANWPAPSKSecureMethod*>(profile.GetSecureMethodIF());
    EXPECT_EQ(1, method != nullptr ? method->GetPassword(password) : -1);
    return password;
}
TEST(WLANProfil, SwitchingKeepsEachObjectAndCopiesGetTheirOwn) {
    const unsigned char key[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    CWLANProfil source("Source", WLAN_SECURE_WEP);
    IWLANSecureMethod* const sourceWep = source.GetSecureMethodIF();
    ASSERT_NE(nullptr, sourceWep);
    ASSERT_EQ(1, static_cast<CWLANWEPSecureMethod*>(sourceWep)->SetKey(key, 104));
    source.SelectSecureMethod(WLAN_SECURE_WPAPSK);
    ASSERT_EQ("Source/4 wpa-psk", Describe(source)); // a new object, not the WEP one
    static_cast<CWLANWPAPSKSecureMethod*>(source.GetSecureMethodIF())->SetPassword("phrase");
    source.SelectSecureMethod(WLAN_SECURE_WEP); // switching back gives the same object
    ASSERT_EQ(sourceWep, source.GetSecureMethodIF());

    CWLANProfil target("Target", WLAN_SECURE_WEPPLUS);
    static_cast<CWLANWEPPlusSecureMethod*>(target.GetSecureMethodIF())->SetPairing(1);
    target = source;
    CWLANProfil copy(source);
    source.SelectSecureMethod(WLAN_SECURE_WPAPSK);
    for (CWLANProfil* profile : {&target, &copy}) {
        IWLANSecureMethod* const wep = profile->GetSecureMethodIF();
        ASSERT_EQ("Source/1", Describe(*profile));
        EXPECT_NE(sourceWep, wep);
        EXPECT_EQ(104u, static_cast<CWLANWEPSecureMethod*>(wep)->GetKeySizeInBit());
        EXPECT_EQ("phrase", PasswordOf(*profile));
        EXPECT_NE(source.GetSecureMethodIF(), profile->GetSecureMethodIF());
    }
    // The target's own WEP Plus object was replaced: the source had none, so a new one is made.
    target.SelectSecureMethod(WLAN_SECURE_WEPPLUS);
    ASSERT_NE(nullptr, target.GetSecureMethodIF());
    EXPECT_EQ(0, static_cast<CWLANWEPPlusSecureMethod*>(target.GetSecureMethodIF())->GetPairing());
    // Changing one profile's method leaves the other's alone.
    static_cast<CWLANWPAPSKSecureMethod*>(source.GetSecureMethodIF())->SetPassword("changed");
    EXPECT_EQ("phrase", PasswordOf(target));

    IWLANSecureMethod* const held = source.GetSecureMethodIF();
    CWLANProfil& alias = source;
    source = alias; // self-assignment keeps the objects
    EXPECT_EQ(held, source.GetSecureMethodIF());
    EXPECT_EQ("Source/4 wpa-psk", Describe(source));
}

} // namespace
