#include "airvane/security/WLANState.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>

namespace {

// State object that tracks which instances are alive, so a test can see clones, releases
// and double deletes.
class CTrackedState : public IWLANSecureMethodState {
public:
    static std::set<const CTrackedState*>& Live() {
        static std::set<const CTrackedState*> live;
        return live;
    }
    static int& Destroyed() {
        static int destroyed = 0;
        return destroyed;
    }

    explicit CTrackedState(int tag) : m_tag(tag) { Live().insert(this); }
    CTrackedState(const CTrackedState& other) : IWLANSecureMethodState(other), m_tag(other.m_tag) {
        Live().insert(this);
    }
    ~CTrackedState() override {
        EXPECT_EQ(1u, Live().erase(this)) << "state object destroyed twice";
        ++Destroyed();
    }
    enWLANSecureMethodUID GetSecureMethodUID() const override { return WLAN_SECURE_WEP; }
    IWLANSecureMethodState* Clone() const override { return new CTrackedState(*this); }
    int Tag() const { return m_tag; }

private:
    int m_tag;
};

class WLANStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        CTrackedState::Live().clear();
        CTrackedState::Destroyed() = 0;
    }
    void TearDown() override { EXPECT_TRUE(CTrackedState::Live().empty()) << "state object leaked"; }
};

void AddNetwork(CWLANState& state, const char* ssid, std::int32_t quality) {
    const std::uint32_t i = state.m_count++;
    std::strncpy(state.m_ssid[i], ssid, CWLANState::kSSIDSlotBytes - 1);
    state.m_quality[i] = quality;
}

bool AllZero(const unsigned char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

TEST_F(WLANStateTest, StartsInTheResetState) {
    CWLANState state;
    EXPECT_EQ(0u, state.m_count);
    EXPECT_EQ(4, state.m_status);
    EXPECT_EQ(nullptr, state.m_secureState);
    EXPECT_TRUE(AllZero(reinterpret_cast<const unsigned char*>(state.m_ssid), sizeof(state.m_ssid)));
    EXPECT_TRUE(AllZero(reinterpret_cast<const unsigned char*>(state.m_quality), sizeof(state.m_quality)));
    EXPECT_TRUE(AllZero(state.m_pluginData1, sizeof(state.m_pluginData1)));
    EXPECT_TRUE(AllZero(state.m_pluginData2, sizeof(state.m_pluginData2)));
    EXPECT_TRUE(AllZero(state.m_pluginData3, sizeof(state.m_pluginData3)));
}

TEST_F(WLANStateTest, CopiesHoldTheirOwnStateObject) {
    {
        CWLANState source;
        AddNetwork(source, "Office", 70);
        source.m_status = 1;
        source.m_pluginData1[0] = 0x11;
        source.m_pluginData2[271] = 0x22;
        source.m_pluginData3[14355] = 0x33;
        source.SetSecureMethodState(new CTrackedState(5));

        CWLANState copy(source);
        ASSERT_NE(nullptr, copy.m_secureState);
        EXPECT_NE(source.m_secureState, copy.m_secureState);
        EXPECT_EQ(5, static_cast<CTrackedState*>(copy.m_secureState)->Tag());
        EXPECT_EQ(1u, copy.m_count);
        EXPECT_STREQ("Office", copy.m_ssid[0]);
        EXPECT_EQ(70, copy.m_quality[0]);
        EXPECT_EQ(1, copy.m_status);
        EXPECT_EQ(0x11, copy.m_pluginData1[0]);
        EXPECT_EQ(0x22, copy.m_pluginData2[271]);
        EXPECT_EQ(0x33, copy.m_pluginData3[14355]);
        EXPECT_EQ(2u, CTrackedState::Live().size());
    }
    EXPECT_EQ(2, CTrackedState::Destroyed());
}

TEST_F(WLANStateTest, AssignmentReleasesTheTargetsObjectAndClonesTheSources) {
    CWLANState source;
    source.SetSecureMethodState(new CTrackedState(1));
    AddNetwork(source, "Lab", 12);
    CWLANState target;
    target.SetSecureMethodState(new CTrackedState(2));
    const auto* const old = static_cast<const CTrackedState*>(target.m_secureState);

    target = source;
    EXPECT_EQ(0u, CTrackedState::Live().count(old));
    ASSERT_NE(nullptr, target.m_secureState);
    EXPECT_NE(source.m_secureState, target.m_secureState);
    EXPECT_EQ(1, static_cast<CTrackedState*>(target.m_secureState)->Tag());
    EXPECT_STREQ("Lab", target.m_ssid[0]);

    // A source without an object leaves the target without one.
    CWLANState empty;
    target = empty;
    EXPECT_EQ(nullptr, target.m_secureState);
    EXPECT_EQ(1u, CTrackedState::Live().size());
}

TEST_F(WLANStateTest, SelfAssignmentChangesNothing) {
    CWLANState state;
    AddNetwork(state, "Self", 3);
    state.SetSecureMethodState(new CTrackedState(7));
    const auto* const held = static_cast<const CTrackedState*>(state.m_secureState);
    CWLANState& alias = state;
    state = alias;
    EXPECT_EQ(held, state.m_secureState);
    EXPECT_EQ(1u, CTrackedState::Live().count(held));
    EXPECT_STREQ("Self", state.m_ssid[0]);
}

TEST_F(WLANStateTest, SetSecureMethodStateTakesOverAndKeepsTheHeldObject) {
    CWLANState state;
    auto* first = new CTrackedState(1);
    state.SetSecureMethodState(first);
    state.SetSecureMethodState(first); // same object: kept, not released
    EXPECT_EQ(first, state.m_secureState);
    EXPECT_EQ(0, CTrackedState::Destroyed());
    state.SetSecureMethodState(new CTrackedState(2));
    EXPECT_EQ(1, CTrackedState::Destroyed());
    state.SetSecureMethodState(nullptr);
    EXPECT_EQ(2, CTrackedState::Destroyed());
    EXPECT_EQ(nullptr, state.m_secureState);
}

TEST_F(WLANStateTest, EmptyReleasesTheObjectAndResets) {
    CWLANState state;
    AddNetwork(state, "Gone", 9);
    state.m_status = 1;
    state.m_pluginData3[0] = 1;
    state.SetSecureMethodState(new CTrackedState(1));
    state.Empty();
    EXPECT_EQ(1, CTrackedState::Destroyed());
    EXPECT_EQ(nullptr, state.m_secureState);
    EXPECT_EQ(4, state.m_status);
    EXPECT_EQ(0u, state.m_count);
    EXPECT_EQ('\0', state.m_ssid[0][0]);
    EXPECT_EQ(0, state.m_pluginData3[0]);
}

TEST_F(WLANStateTest, ResetRecordsAreEqual) {
    CWLANState a;
    CWLANState b;
    EXPECT_TRUE(a.equalSSID(b));
    EXPECT_TRUE(a.equalQualitySSID(b));
}

TEST_F(WLANStateTest, OrderDoesNotMatterButEverySSIDMustOccur) {
    CWLANState a;
    AddNetwork(a, "one", 1);
    AddNetwork(a, "two", 2);
    AddNetwork(a, "three", 3);
    CWLANState b;
    AddNetwork(b, "three", 3);
    AddNetwork(b, "one", 1);
    AddNetwork(b, "two", 2);
    EXPECT_TRUE(a.equalSSID(b));
    EXPECT_TRUE(a.equalQualitySSID(b));

    CWLANState c;
    AddNetwork(c, "three", 3);
    AddNetwork(c, "one", 1);
    AddNetwork(c, "four", 2);
    EXPECT_FALSE(a.equalSSID(c));
    EXPECT_FALSE(a.equalQualitySSID(c));

    CWLANState shorter;
    AddNetwork(shorter, "one", 1);
    AddNetwork(shorter, "two", 2);
    EXPECT_FALSE(a.equalSSID(shorter));
}

TEST_F(WLANStateTest, ACopyIsEqualToItsSource) {
    CWLANState a;
    AddNetwork(a, "alpha", 10);
    AddNetwork(a, "beta", 20);
    const CWLANState copy(a);
    EXPECT_TRUE(a.equalSSID(copy));
    EXPECT_TRUE(a.equalQualitySSID(copy));
    EXPECT_TRUE(copy.equalQualitySSID(a));
}

TEST_F(WLANStateTest, QualityDifferenceOnlyBreaksTheQualityComparison) {
    CWLANState a;
    AddNetwork(a, "alpha", 10);
    AddNetwork(a, "beta", 20);
    CWLANState b;
    AddNetwork(b, "beta", 21);
    AddNetwork(b, "alpha", 10);
    EXPECT_TRUE(a.equalSSID(b));
    EXPECT_FALSE(a.equalQualitySSID(b));
}

TEST_F(WLANStateTest, OnlyTheFirstMatchingNetworkCountsForQuality) {
    CWLANState a;
    AddNetwork(a, "dup", 50);
    AddNetwork(a, "dup", 50);
    CWLANState b;
    AddNetwork(b, "dup", 40); // first match, other quality
    AddNetwork(b, "dup", 50); // would agree, but is not considered
    EXPECT_TRUE(a.equalSSID(b));
    EXPECT_FALSE(a.equalQualitySSID(b));

    CWLANState c;
    AddNetwork(c, "dup", 40);
    AddNetwork(c, "dup", 40);
    CWLANState d;
    AddNetwork(d, "dup", 40);
    AddNetwork(d, "dup", 77); // never reached: the first match decides
    EXPECT_TRUE(c.equalQualitySSID(d));
}

TEST_F(WLANStateTest, ComparisonIsCaseSensitive) {
    CWLANState a;
    AddNetwork(a, "HomeNet", 1);
    CWLANState b;
    AddNetwork(b, "homenet", 1);
    EXPECT_FALSE(a.equalSSID(b));
    EXPECT_FALSE(a.equalQualitySSID(b));
}

TEST_F(WLANStateTest, FullSlotsWithoutTerminatorAreComparedWithinTheSlot) {
    CWLANState a;
    CWLANState b;
    a.m_count = b.m_count = CWLANState::kMaxNetworks;
    for (std::uint32_t i = 0; i < CWLANState::kMaxNetworks; ++i) {
        std::memset(a.m_ssid[i], 'A' + static_cast<int>(i % 26), CWLANState::kSSIDSlotBytes);
        std::memset(b.m_ssid[i], 'A' + static_cast<int>(i % 26), CWLANState::kSSIDSlotBytes);
        a.m_ssid[i][1] = b.m_ssid[i][1] = static_cast<char>('0' + i / 10);
        a.m_ssid[i][2] = b.m_ssid[i][2] = static_cast<char>('0' + i % 10);
    }
    // The bytes right after the last slot (the quality table) differ; a comparison that ran
    // past the slot would see them.
    a.m_quality[0] = 0x41414141;
    b.m_quality[0] = 0x42424242;
    EXPECT_TRUE(a.equalSSID(b));
}

TEST_F(WLANStateTest, CountsBeyondTheTableAreBounded) {
    CWLANState a;
    CWLANState b;
    a.m_count = b.m_count = 5000;
    EXPECT_TRUE(a.equalSSID(b));
    EXPECT_TRUE(a.equalQualitySSID(b));
    // The last slot of the table still takes part.
    std::strcpy(a.m_ssid[31], "last");
    std::strcpy(b.m_ssid[31], "last");
    EXPECT_TRUE(a.equalQualitySSID(b));
    b.m_quality[31] = 1;
    EXPECT_FALSE(a.equalQualitySSID(b));
}

} // namespace
