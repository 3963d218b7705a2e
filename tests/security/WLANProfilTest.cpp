#include "airvane/security/WLANProfil.h"

#include "airvane/security/WEPPlusSecureMethod.h"
#include "airvane/security/WEPSecureMethod.h"
#include "airvane/security/WPASecureMethod.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(WLANProfil, DefaultProfileHasEmptySSIDAndNoSecurity) {
    CWLANProfil profile;
    EXPECT_STREQ("", profile.GetSSID());
    IWLANSecureMethod* const method = profile.GetSecureMethodIF();
    ASSERT_NE(nullptr, method);
    EXPECT_EQ(WLAN_SECURE_NONE, method->GetSecureMethodUID());
    EXPECT_EQ(method, profile.GetSecureMethodIF());
}

TEST(WLANProfil, ConstructorsTakeSSIDAndIdentifier) {
    CWLANProfil named("Office");
    EXPECT_STREQ("Office", named.GetSSID());
    ASSERT_NE(nullptr, named.GetSecureMethodIF());
    EXPECT_EQ(WLAN_SECURE_NONE, named.GetSecureMethodIF()->GetSecureMethodUID());

    CWLANProfil secured("Lab", WLAN_SECURE_WEPPLUS);
    EXPECT_STREQ("Lab", secured.GetSSID());
    ASSERT_NE(nullptr, secured.GetSecureMethodIF());
    EXPECT_EQ(WLAN_SECURE_WEPPLUS, secured.GetSecureMethodIF()->GetSecureMethodUID());

    CWLANProfil unnamed(nullptr);
    EXPECT_STREQ("", unnamed.GetSSID());
    CWLANProfil unknown(nullptr, static_cast<enWLANSecureMethodUID>(99));
    EXPECT_STREQ("", unknown.GetSSID());
    EXPECT_EQ(nullptr, unknown.GetSecureMethodIF());
}

TEST(WLANProfil, SetSSIDReplacesTheText) {
    CWLANProfil profile("first");
    EXPECT_EQ(1, profile.SetSSID("second network"));
    EXPECT_STREQ("second network", profile.GetSSID());
    EXPECT_EQ(1, profile.SetSSID(nullptr));
    EXPECT_STREQ("", profile.GetSSID());
}

TEST(WLANProfil, EachIdentifierCreatesItsClass) {
    CWLANProfil profile;
    const enWLANSecureMethodUID uids[] = {WLAN_SECURE_NONE, WLAN_SECURE_WEP, WLAN_SECURE_WEPPLUS,
                                          WLAN_SECURE_WPAPSK};
    for (const enWLANSecureMethodUID uid : uids) {
        EXPECT_EQ(1, profile.SelectSecureMethod(uid));
        IWLANSecureMethod* const method = profile.GetSecureMethodIF();
        ASSERT_NE(nullptr, method) << uid;
        EXPECT_EQ(uid, method->GetSecureMethodUID());
    }
    EXPECT_NE(nullptr, dynamic_cast<CWLANWEPPlusSecureMethod*>(
                           (profile.SelectSecureMethod(WLAN_SECURE_WEPPLUS), profile.GetSecureMethodIF())));
    EXPECT_NE(nullptr, dynamic_cast<CWLANWPAPSKSecureMethod*>(
                           (profile.SelectSecureMethod(WLAN_SECURE_WPAPSK), profile.GetSecureMethodIF())));
}

TEST(WLANProfil, SwitchingBackReturnsTheSameObjectWithItsSettings) {
    const unsigned char key[5] = {0x10, 0x20, 0x30, 0x40, 0x50};
    CWLANProfil profile("Net");
    profile.SelectSecureMethod(WLAN_SECURE_WEP);
    auto* wep = static_cast<CWLANWEPSecureMethod*>(profile.GetSecureMethodIF());
    ASSERT_NE(nullptr, wep);
    ASSERT_EQ(1, wep->SetKey(key, 40));

    profile.SelectSecureMethod(WLAN_SECURE_WPAPSK);
    ASSERT_NE(nullptr, profile.GetSecureMethodIF());
    EXPECT_NE(static_cast<IWLANSecureMethod*>(wep), profile.GetSecureMethodIF());

    profile.SelectSecureMethod(WLAN_SECURE_WEP);
    ASSERT_EQ(static_cast<IWLANSecureMethod*>(wep), profile.GetSecureMethodIF());
    EXPECT_EQ(40u, wep->GetKeySizeInBit());
    unsigned char out[5] = {};
    ASSERT_EQ(1, wep->GetKey(out));
    EXPECT_EQ(0x50, out[4]);
}

TEST(WLANProfil, IdentifiersWithoutAMethodGiveNull) {
    CWLANProfil profile;
    EXPECT_EQ(1, profile.SelectSecureMethod(WLAN_SECURE_WPA));
    EXPECT_EQ(nullptr, profile.GetSecureMethodIF());
    EXPECT_EQ(1, profile.SelectSecureMethod(static_cast<enWLANSecureMethodUID>(7)));
    EXPECT_EQ(nullptr, profile.GetSecureMethodIF());
    EXPECT_EQ(1, profile.SelectSecureMethod(static_cast<enWLANSecureMethodUID>(-1)));
    EXPECT_EQ(nullptr, profile.GetSecureMethodIF());
}

CWLANProfil SourceProfile() {
    CWLANProfil source("Source", WLAN_SECURE_WEP);
    const unsigned char key[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    static_cast<CWLANWEPSecureMethod*>(source.GetSecureMethodIF())->SetKey(key, 104);
    source.SelectSecureMethod(WLAN_SECURE_WPAPSK);
    static_cast<CWLANWPAPSKSecureMethod*>(source.GetSecureMethodIF())->SetPassword("phrase");
    source.SelectSecureMethod(WLAN_SECURE_WEP);
    return source;
}

TEST(WLANProfil, AssignmentGivesTheTargetItsOwnCopies) {
    CWLANProfil source = SourceProfile();
    IWLANSecureMethod* const sourceWep = source.GetSecureMethodIF();

    CWLANProfil target("Target", WLAN_SECURE_WEPPLUS);
    auto* oldWepPlus = static_cast<CWLANWEPPlusSecureMethod*>(target.GetSecureMethodIF());
    ASSERT_NE(nullptr, oldWepPlus);
    oldWepPlus->SetPairing(1);

    target = source;
    EXPECT_STREQ("Source", target.GetSSID());
    IWLANSecureMethod* const targetWep = target.GetSecureMethodIF();
    ASSERT_NE(nullptr, targetWep);
    EXPECT_NE(sourceWep, targetWep);
    EXPECT_EQ(WLAN_SECURE_WEP, targetWep->GetSecureMethodUID());
    EXPECT_EQ(104u, static_cast<CWLANWEPSecureMethod*>(targetWep)->GetKeySizeInBit());

    target.SelectSecureMethod(WLAN_SECURE_WPAPSK);
    source.SelectSecureMethod(WLAN_SECURE_WPAPSK);
    ASSERT_NE(nullptr, target.GetSecureMethodIF());
    EXPECT_NE(source.GetSecureMethodIF(), target.GetSecureMethodIF());
    std::string password;
    EXPECT_EQ(1, static_cast<CWLANWPAPSKSecureMethod*>(target.GetSecureMethodIF())->GetPassword(password));
    EXPECT_EQ("phrase", password);

    // The target's own WEP Plus object was replaced: the source had none, so a new one is made.
    target.SelectSecureMethod(WLAN_SECURE_WEPPLUS);
    auto* newWepPlus = static_cast<CWLANWEPPlusSecureMethod*>(target.GetSecureMethodIF());
    ASSERT_NE(nullptr, newWepPlus);
    EXPECT_EQ(0, newWepPlus->GetPairing());

    // Changing one profile's method leaves the other's alone.
    static_cast<CWLANWPAPSKSecureMethod*>(source.GetSecureMethodIF())->SetPassword("changed");
    EXPECT_EQ(1, static_cast<CWLANWPAPSKSecureMethod*>(
                     (target.SelectSecureMethod(WLAN_SECURE_WPAPSK), target.GetSecureMethodIF()))
                     ->GetPassword(password));
    EXPECT_EQ("phrase", password);
}

TEST(WLANProfil, SelfAssignmentKeepsTheObjects) {
    CWLANProfil profile = SourceProfile();
    IWLANSecureMethod* const wep = profile.GetSecureMethodIF();
    CWLANProfil& alias = profile;
    profile = alias;
    EXPECT_EQ(wep, profile.GetSecureMethodIF());
    EXPECT_STREQ("Source", profile.GetSSID());
}

TEST(WLANProfil, CopyConstructionFollowsTheAssignmentRule) {
    const CWLANProfil source = SourceProfile();
    CWLANProfil copy(source);
    EXPECT_STREQ("Source", copy.GetSSID());
    IWLANSecureMethod* const wep = copy.GetSecureMethodIF();
    ASSERT_NE(nullptr, wep);
    EXPECT_EQ(WLAN_SECURE_WEP, wep->GetSecureMethodUID());
    CWLANProfil mutableSource(source);
    EXPECT_NE(mutableSource.GetSecureMethodIF(), wep);
}

} // namespace
