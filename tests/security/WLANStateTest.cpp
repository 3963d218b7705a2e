#include "airvane/security/WLANState.h"

#include "tests/support/CaseFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

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
    const int m_tag;
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

// Adds the networks of a list of "SSID:quality" words.
void AddNetworks(CWLANState& state, const std::string& list) {
    for (const std::string& network : airvane::test::SplitText(list, ' ')) {
        const std::size_t colon = network.rfind(':');
        std::strncpy(state.m_ssid[state.m_count], network.substr(0, colon).c_str(),
                     CWLANState::kSSIDSlotBytes - 1);
        state.m_quality[state.m_count++] = std::atoi(network.c_str() + colon + 1);
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
    AddNetworks(state, "Gone:9");
    state.m_status = 1;
    state.m_pluginData1[3] = state.m_pluginData2[5] = state.m_pluginData3[0] = 1;
    state.SetSecureMethodState(new CTrackedState(1));
    state.Empty();
    EXPECT_EQ(1, CTrackedState::s_destroyed);
    ExpectResetState(state);
}

// The fields a copy must carry: count, first network, status, plug-in data and state tag.
std::string Describe(const CWLANState& state) {
    const auto* tracked = static_cast<const CTrackedState*>(state.m_secureState);
    return std::to_string(state.m_count) + " " + state.m_ssid[0] + ":" + std::to_string(state.m_quality[0]) +
           " status=" + std::to_string(state.m_status) + " data=" + std::to_string(state.m_pluginData1[0]) +
           "," + std::to_string(state.m_pluginData2[271]) + "," + std::to_string(state.m_pluginData3[14355]) +
           " tag=" + (tracked != nullptr ? std::to_string(tracked->m_tag) : "none");
}

TEST_F(WLANStateTest, CopiesAndAssignmentsHoldTheirOwnStateObject) {
    {
        CWLANState source;
        AddNetworks(source, "Office:70");
        source.m_status = 1;
        source.m_pluginData1[0] = 0x11;
        source.m_pluginData2[271] = 0x22;
        source.m_pluginData3[14355] = 0x33;
        source.SetSecureMethodState(new CTrackedState(5));
        CWLANState copy(source);
        CWLANState assigned;
        assigned.SetSecureMethodState(new CTrackedState(2));
        const auto* const old = static_cast<const CTrackedState*>(assigned.m_secureState);
        assigned = source;
        EXPECT_EQ(0u, CTrackedState::s_live.count(old)); // released
        for (const CWLANState* target : {&copy, &assigned}) {
            EXPECT_EQ("1 Office:70 status=1 data=17,34,51 tag=5", Describe(*target));
            EXPECT_NE(source.m_secureState, target->m_secureState);
        }
        EXPECT_EQ(3u, CTrackedState::s_live.size());

        const IWLANSecureMethodState* const held = source.m_secureState;
        CWLANState& alias = source;
        source = alias; // self-assignment keeps the object
        EXPECT_EQ(held, source.m_secureState);
        EXPECT_EQ("1 Office:70 status=1 data=17,34,51 tag=5", Describe(source));
        assigned = CWLANState(); // a source without an object leaves the target without one
        EXPECT_EQ("0 :0 status=4 data=0,0,0 tag=none", Describe(assigned));
        EXPECT_EQ(2u, CTrackedState::s_live.size());

        // Taking over an object releases the held one, unless it is the same.
        source.SetSecureMethodState(source.m_secureState);
        EXPECT_EQ(held, source.m_secureState);
        source.SetSecureMethodState(new CTrackedState(3));
        EXPECT_EQ(2u, CTrackedState::s_live.size());
        source.SetSecureMethodState(nullptr);
        EXPECT_EQ(nullptr, source.m_secureState);
        EXPECT_EQ(1u, CTrackedState::s_live.size());
    }
    EXPECT_EQ(5, CTrackedState::s_destroyed);
}

TEST_F(WLANStateTest, NetworkListsCompareAsSets) {
    for (const airvane::test::stCase& c : airvane::test::ReadCases(AIRVANE_SECURITY_CASES "/networks.txt")) {
        SCOPED_TRACE(c.name);
        CWLANState a;
        CWLANState b;
        AddNetworks(a, c.Get("a"));
        AddNetworks(b, c.Get("b"));
        EXPECT_EQ(c.Get("same-ssids") == "1", a.equalSSID(b));
        EXPECT_EQ(c.Get("same-quality") == "1", a.equalQualitySSID(b));
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
