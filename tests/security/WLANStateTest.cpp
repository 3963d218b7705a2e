#include "airvane/security/WLANState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

namespace {

// State object that tracks which instances are alive, so a test can see clones, releases
// and double deletes.
class CTrackedState : public IWLANSecureMethodState {
public:
    static std::set<const CTrackedState*> s_live;
    static int s_destroyed;

    explicit CTrackedState(int tag) : m_tag(tag) { s_live.insert(this); }
    CTrackedState(const CTrackedState& other) : IWLANSecureMethodState(other), m_tag(other.m_tag) {
        s_live.insert(this);
    }
    ~CTrackedState() override {
        EXPECT_EQ(1u, s_live.erase(this)) << "state object destroyed twice";
        ++s_destroyed;
    }
    enWLANSecureMethodUID GetSecureMethodUID() const override { return WLAN_SECURE_WEP; }
    IWLANSecureMethodState* Clone() const override { return new CTrackedState(*this); }
    static int TagOf(const CWLANState& state) {
        return static_cast<CTrackedState*>(state.m_secureState)->m_tag;
    }

private:
    int m_tag;
};
std::set<const CTrackedState*> CTrackedState::s_live;
int CTrackedState::s_destroyed = 0;

class WLANStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        CTrackedState::s_live.clear();
        CTrackedState::s_destroyed = 0;
    }
    void TearDown() override { EXPECT_TRUE(CTrackedState::s_live.empty()) << "state object leaked"; }
};

using Networks = std::vector<std::pair<const char*, std::int32_t>>;

void AddNetworks(CWLANState& state, const Networks& networks) {
    for (const auto& network : networks) {
        std::strncpy(state.m_ssid[state.m_count], network.first, CWLANState::kSSIDSlotBytes - 1);
        state.m_quality[state.m_count++] = network.second;
    }
}

template <typename T> bool AllZero(const T& field) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&field);
    return std::all_of(bytes, bytes + sizeof(field), [](unsigned char b) { return b == 0; });
}

void ExpectResetState(const CWLANState& state) {
    EXPECT_EQ(4, state.m_status);
    EXPECT_EQ(nullptr, state.m_secureState);
    EXPECT_TRUE(AllZero(state.m_count) && AllZero(state.m_ssid) && AllZero(state.m_quality) &&
                AllZero(state.m_pluginData1) && AllZero(state.m_pluginData2) && AllZero(state.m_pluginData3));
}

TEST_F(WLANStateTest, NewAndEmptiedRecordsAreReset) {
    CWLANState state;
    ExpectResetState(state);
    AddNetworks(state, {{"Gone", 9}});
    state.m_status = 1;
    state.m_pluginData1[3] = state.m_pluginData2[5] = state.m_pluginData3[0] = 1;
    state.SetSecureMethodState(new CTrackedState(1));
    state.Empty();
    EXPECT_EQ(1, CTrackedState::s_destroyed);
    ExpectResetState(state);
}

// The fields a copy must carry: count, first network, status, plug-in data and state tag.
std::string Describe(const CWLANState& state) {
    return std::to_string(state.m_count) + " " + state.m_ssid[0] + ":" + std::to_string(state.m_quality[0]) +
           " status=" + std::to_string(state.m_status) + " data=" + std::to_string(state.m_pluginData1[0]) +
           "," + std::to_string(state.m_pluginData2[271]) + "," + std::to_string(state.m_pluginData3[14355]) +
           " tag=" + (state.m_secureState != nullptr ? std::to_string(CTrackedState::TagOf(state)) : "none");
}

TEST_F(WLANStateTest, CopiesAndAssignmentsHoldTheirOwnStateObject) {
    {
        CWLANState source;
        AddNetworks(source, {{"Office", 70}});
        source.m_status = 1;
        source.m_pluginData1[0] = 0x11;
        source.m_pluginData2[271] = 0x22;
        source.m_pluginData3[14355] = 0x33;
        source.SetSecureMethodState(new CTrackedState(5));
        CWLANState copy(source);
        CWLANState assigned;
        assigned.SetSecureMethodState(new CTrackedState(2));
        const CTrackedState* const old = static_cast<const CTrackedState*>(assigned.m_secureState);
        assigned = source;
        EXPECT_EQ(0u, CTrackedState::s_live.count(old)); // the target's object was released
        for (const CWLANState* target : {&copy, &assigned}) {
            EXPECT_EQ("1 Office:70 status=1 data=17,34,51 tag=5", Describe(*target));
            EXPECT_NE(source.m_secureState, target->m_secureState);
        }
        EXPECT_EQ(3u, CTrackedState::s_live.size());

        const CTrackedState* const held = static_cast<const CTrackedState*>(source.m_secureState);
        CWLANState& alias = source;
        source = alias; // self-assignment keeps the object
        EXPECT_EQ(held, source.m_secureState);
        EXPECT_EQ("1 Office:70 status=1 data=17,34,51 tag=5", Describe(source));
        assigned = CWLANState(); // a source without an object leaves the target without one
        EXPECT_EQ("0 :0 status=4 data=0,0,0 tag=none", Describe(assigned));
        EXPECT_EQ(2u, CTrackedState::s_live.size());
    }
    EXPECT_EQ(4, CTrackedState::s_destroyed);
}

TEST_F(WLANStateTest, SetSecureMethodStateTakesOverAndKeepsTheHeldObject) {
    CWLANState state;
    auto* first = new CTrackedState(1);
    state.SetSecureMethodState(first);
    state.SetSecureMethodState(first); // same object: kept, not released
    EXPECT_EQ(first, state.m_secureState);
    EXPECT_EQ(0, CTrackedState::s_destroyed);
    state.SetSecureMethodState(new CTrackedState(2));
    EXPECT_EQ(1, CTrackedState::s_destroyed);
    state.SetSecureMethodState(nullptr);
    EXPECT_EQ(2, CTrackedState::s_destroyed);
    EXPECT_EQ(nullptr, state.m_secureState);
}

TEST_F(WLANStateTest, NetworkListsCompareAsSets) {
    const Networks abc = {{"one", 1}, {"two", 2}, {"three", 3}};
    const struct {
        const char* name;
        Networks a;
        Networks b;
        bool equalSSID;
        bool equalQuality;
    } cases[] = {
        {"reset records", {}, {}, true, true},
        {"other order", abc, {{"three", 3}, {"one", 1}, {"two", 2}}, true, true},
        {"one SSID differs", abc, {{"three", 3}, {"one", 1}, {"four", 2}}, false, false},
        {"fewer networks", abc, {{"one", 1}, {"two", 2}}, false, false},
        {"quality differs", {{"alpha", 10}, {"beta", 20}}, {{"beta", 21}, {"alpha", 10}}, true, false},
        {"case differs", {{"HomeNet", 1}}, {{"homenet", 1}}, false, false},
        // Only the first matching network counts for the quality.
        {"first match disagrees", {{"dup", 50}, {"dup", 50}}, {{"dup", 40}, {"dup", 50}}, true, false},
        {"first match agrees", {{"dup", 40}, {"dup", 40}}, {{"dup", 40}, {"dup", 77}}, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CWLANState a;
        CWLANState b;
        AddNetworks(a, c.a);
        AddNetworks(b, c.b);
        EXPECT_EQ(c.equalSSID, a.equalSSID(b));
        EXPECT_EQ(c.equalQuality, a.equalQualitySSID(b));
    }
}

TEST_F(WLANStateTest, FullSlotsAndCountsBeyondTheTableStayWithinTheTable) {
    CWLANState a;
    CWLANState b;
    a.m_count = b.m_count = 5000; // compared as the 32 slots of the table
    EXPECT_TRUE(a.equalSSID(b));
    EXPECT_TRUE(a.equalQualitySSID(b));
    std::strcpy(a.m_ssid[31], "last"); // the last slot of the table still takes part
    std::strcpy(b.m_ssid[31], "last");
    EXPECT_TRUE(a.equalQualitySSID(b));
    b.m_quality[31] = 1;
    EXPECT_FALSE(a.equalQualitySSID(b));

    // Full slots without a terminator: the bytes right after the last slot (the quality table)
    // differ, which a comparison running past the slot would see.
    a.m_count = b.m_count = CWLANState::kMaxNetworks;
    for (std::uint32_t i = 0; i < CWLANState::kMaxNetworks; ++i) {
        for (CWLANState* state : {&a, &b}) {
            std::memset(state->m_ssid[i], 'A' + static_cast<int>(i % 26), CWLANState::kSSIDSlotBytes);
            state->m_ssid[i][1] = static_cast<char>('0' + i / 10);
            state->m_ssid[i][2] = static_cast<char>('0' + i % 10);
        }
    }
    a.m_quality[0] = 0x41414141;
    b.m_quality[0] = 0x42424242;
    EXPECT_TRUE(a.equalSSID(b));
}

} // namespace
