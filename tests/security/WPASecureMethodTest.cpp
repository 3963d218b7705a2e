#include "airvane/security/WPASecureMethod.h"
#include "airvane/security/WLANProfil.h"

#include "ModuleExports.h"
#include "tests/modules/wpa_stub/WpaStubDouble.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

namespace {

namespace stub = wpa_stub_double;
using airvane::test::ModuleExport;

// Reaches the protected parts that tell how a context record is shared.
class CInspectablePSK : public CWLANWPAPSKSecureMethod {
public:
    CInspectablePSK() = default;
    CInspectablePSK(const CInspectablePSK&) = default;
    CInspectablePSK& operator=(const CInspectablePSK&) = default;
    const stWPAContextRef* Record() const { return m_context; }
    std::int32_t LastStatus() const { return m_lastState.m_status; }
};

// Dummy adapter address: the library only passes it through to the stub.
IWpaAdapter* FakeAdapter() {
    static int marker = 0;
    return reinterpret_cast<IWpaAdapter*>(&marker);
}

CWLANState StateWithStatus(std::int32_t status) {
    CWLANState state;
    state.m_status = status;
    return state;
}

// Script and records of the supplicant stub double, reached through the loaded module.
class WPASecureMethodTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset = ModuleExport<stub::ResetFn>(stub::kModuleName, stub::kReset);
        setState = ModuleExport<stub::SetStateFn>(stub::kModuleName, stub::kSetState);
        failNextLoad = ModuleExport<stub::FailNextLoadFn>(stub::kModuleName, stub::kFailNextLoad);
        lastBlock = ModuleExport<stub::LastBlockFn>(stub::kModuleName, stub::kLastBlock);
        lastAdapter = ModuleExport<stub::LastAdapterFn>(stub::kModuleName, stub::kLastAdapter);
        events = ModuleExport<stub::EventsFn>(stub::kModuleName, stub::kEvents);
        loadCount = ModuleExport<stub::CountFn>(stub::kModuleName, stub::kLoadCount);
        createdCount = ModuleExport<stub::CountFn>(stub::kModuleName, stub::kCreatedCount);
        freeCount = ModuleExport<stub::CountFn>(stub::kModuleName, stub::kFreeCount);
        liveCount = ModuleExport<stub::CountFn>(stub::kModuleName, stub::kLiveCount);
        badFreeCount = ModuleExport<stub::CountFn>(stub::kModuleName, stub::kBadFreeCount);
        ASSERT_TRUE(reset && setState && failNextLoad && lastBlock && lastAdapter && events && loadCount &&
                    createdCount && freeCount && liveCount && badFreeCount)
            << "wpa_stub.dll double not found beside the test executable";
        reset();
        liveAtStart = liveCount();
    }
    void TearDown() override {
        if (liveCount != nullptr) {
            EXPECT_EQ(liveAtStart, liveCount()) << "supplicant context not freed";
            EXPECT_EQ(0, badFreeCount()) << "context freed twice or unknown pointer freed";
        }
    }

    // A method with a pass phrase and a loaded context (status of the load's state given).
    void Load(CWLANWPAPSKSecureMethod& method, std::int32_t status = 4) {
        ASSERT_EQ(1, method.SetPassword("pass"));
        ASSERT_EQ(1, method.WPALoadContext(StateWithStatus(status), "Net", FakeAdapter()));
        reset(); // keep only the calls that follow
    }

    stub::ResetFn reset = nullptr;
    stub::SetStateFn setState = nullptr;
    stub::FailNextLoadFn failNextLoad = nullptr;
    stub::LastBlockFn lastBlock = nullptr;
    stub::LastAdapterFn lastAdapter = nullptr;
    stub::EventsFn events = nullptr;
    stub::CountFn loadCount = nullptr;
    stub::CountFn createdCount = nullptr;
    stub::CountFn freeCount = nullptr;
    stub::CountFn liveCount = nullptr;
    stub::CountFn badFreeCount = nullptr;
    int liveAtStart = 0;
};

TEST_F(WPASecureMethodTest, FreshMethodHasNoKeyNoPassPhraseNoContext) {
    CInspectablePSK method;
    EXPECT_EQ(WLAN_SECURE_WPAPSK, method.GetSecureMethodUID());
    EXPECT_EQ(0u, method.GetKeySizeInBit());
    std::string password = "previous";
    EXPECT_EQ(0, method.GetPassword(password));
    EXPECT_EQ("", password);
    unsigned char key[32];
    EXPECT_EQ(0, method.GetKey(key));
    EXPECT_EQ(nullptr, method.Record());
    EXPECT_EQ(4, method.LastStatus());
    EXPECT_EQ(nullptr, method.BuildSecureMethodState());
}

TEST_F(WPASecureMethodTest, PassPhraseBlockIsByteExact) {
    CWLANWPAPSKSecureMethod method;
    ASSERT_EQ(1, method.SetPassword("correct horse"));
    ASSERT_EQ(1, method.WPALoadContext(CWLANState(), "Home Net", FakeAdapter()));
    EXPECT_EQ(std::string("network={\n"
                          "\t\t\t\t\tssid=\"Home Net\"\n"
                          "\t\t\t\t\tpsk=\"correct horse\"\n"
                          "\t\t\t\t\tpriority=1\n"
                          "\t\t\t\t\tkey_mgmt=WPA-PSK\n"
                          "\t\t\t\t\t}\n"),
              lastBlock());
    EXPECT_EQ(static_cast<const void*>(FakeAdapter()), lastAdapter());
    EXPECT_EQ(1, loadCount());
}

TEST_F(WPASecureMethodTest, KeyBlockHasUpperCaseHexWithoutQuotes) {
    std::array<unsigned char, 32> key{};
    for (std::size_t i = 0; i < key.size(); ++i) {
        key[i] = static_cast<unsigned char>(i < 16 ? i : 0xE0 + i); // 00..0F then F0..FF
    }
    CWLANWPAPSKSecureMethod method;
    ASSERT_EQ(1, method.SetKey(key.data(), 256));
    ASSERT_EQ(1, method.WPALoadContext(CWLANState(), "Lab", nullptr));
    EXPECT_EQ(std::string("network={\n"
                          "\t\t\t\t\tssid=\"Lab\"\n"
                          "\t\t\t\t\tpsk=000102030405060708090A0B0C0D0E0FF0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF\n"
                          "\t\t\t\t\tpriority=1\n"
                          "\t\t\t\t\tkey_mgmt=WPA-PSK\n"
                          "\t\t\t\t\t}\n"),
              lastBlock());
    EXPECT_EQ(nullptr, lastAdapter());
}

TEST_F(WPASecureMethodTest, SSIDAndPassPhraseAreInsertedUnescaped) {
    CWLANWPAPSKSecureMethod method;
    ASSERT_EQ(1, method.SetPassword("a\"b%PSK%c"));
    ASSERT_EQ(1, method.WPALoadContext(CWLANState(), "q\"uote", nullptr));
    const std::string block = lastBlock();
    EXPECT_NE(std::string::npos, block.find("\tssid=\"q\"uote\"\n"));
    // Inserted text is not scanned again for the placeholder.
    EXPECT_NE(std::string::npos, block.find("\tpsk=\"a\"b%PSK%c\"\n"));
}

TEST_F(WPASecureMethodTest, KeyAndPassPhraseExcludeEachOther) {
    const unsigned char key[32] = {1, 2, 3, 4};
    CWLANWPAPSKSecureMethod method;
    ASSERT_EQ(1, method.SetPassword("phrase"));
    ASSERT_EQ(1, method.SetKey(key, 128));
    std::string password;
    EXPECT_EQ(0, method.GetPassword(password));
    EXPECT_EQ("", password);
    unsigned char out[32] = {};
    EXPECT_EQ(1, method.GetKey(out));
    EXPECT_EQ(4, out[3]);

    ASSERT_EQ(1, method.SetPassword("again"));
    EXPECT_EQ(0, method.GetKey(out));
    EXPECT_EQ(0u, method.GetKeySizeInBit());
    EXPECT_EQ(1, method.GetPassword(password));
    EXPECT_EQ("again", password);
}

TEST_F(WPASecureMethodTest, RefusedSettingsChangeNothing) {
    const unsigned char key[33] = {9};
    CWLANWPAPSKSecureMethod method;
    ASSERT_EQ(1, method.SetPassword("keep"));
    EXPECT_EQ(0, method.SetKey(key, 257));
    EXPECT_EQ(0, method.SetPassword(nullptr));
    EXPECT_EQ(0, method.SetPassword(""));
    std::string password;
    EXPECT_EQ(1, method.GetPassword(password));
    EXPECT_EQ("keep", password);
    EXPECT_EQ(0, method.GetKey(nullptr));
}

TEST_F(WPASecureMethodTest, EmptyKeyClearsThePassPhraseAndBlocksLoading) {
    const unsigned char key[1] = {0};
    CInspectablePSK method;
    ASSERT_EQ(1, method.SetPassword("phrase"));
    ASSERT_EQ(1, method.SetKey(key, 0));
    EXPECT_EQ(0u, method.GetKeySizeInBit());
    std::string password;
    EXPECT_EQ(0, method.GetPassword(password));
    EXPECT_EQ(0, method.WPALoadContext(CWLANState(), "Net", nullptr));
    EXPECT_EQ(0, loadCount()); // the block is not even built
    EXPECT_EQ(nullptr, method.Record());

    ASSERT_EQ(1, method.SetPassword("now"));
    EXPECT_EQ(1, method.WPALoadContext(CWLANState(), "Net", nullptr));
}

TEST_F(WPASecureMethodTest, StubReturningNullLeavesNoRecordAndKeepsLastState) {
    CInspectablePSK method;
    ASSERT_EQ(1, method.SetPassword("pass"));
    failNextLoad();
    EXPECT_EQ(0, method.WPALoadContext(StateWithStatus(1), "Net", nullptr));
    EXPECT_EQ(1, loadCount());
    EXPECT_EQ(nullptr, method.Record());
    EXPECT_EQ(4, method.LastStatus());
    // Nothing stayed attached, so the next attempt loads.
    EXPECT_EQ(1, method.WPALoadContext(StateWithStatus(3), "Net", nullptr));
    ASSERT_NE(nullptr, method.Record());
    EXPECT_EQ(1, method.Record()->refCount);
    EXPECT_EQ(3, method.LastStatus());
}

TEST_F(WPASecureMethodTest, SecondLoadOnTheSameObjectIsRefused) {
    CInspectablePSK method;
    Load(method);
    const stWPAContextRef* const record = method.Record();
    EXPECT_EQ(0, method.WPALoadContext(CWLANState(), "Other", nullptr));
    EXPECT_EQ(0, loadCount());
    EXPECT_EQ(record, method.Record());
}

TEST_F(WPASecureMethodTest, RunWithoutContextDoesNothing) {
    CInspectablePSK method;
    method.WPARunContext(StateWithStatus(1), true, true);
    EXPECT_STREQ("", events());
    EXPECT_EQ(4, method.LastStatus());
}

TEST_F(WPASecureMethodTest, StatusOneSendsThreeThenZeroOnceUnlessForced) {
    CInspectablePSK method;
    Load(method);
    method.WPARunContext(StateWithStatus(1), false, false);
    EXPECT_STREQ("C3 C0 R", events());
    reset();
    method.WPARunContext(StateWithStatus(1), false, false);
    EXPECT_STREQ("R", events());
    reset();
    method.WPARunContext(StateWithStatus(1), false, true);
    EXPECT_STREQ("C3 C0 R", events());
    EXPECT_EQ(1, method.LastStatus());
}

TEST_F(WPASecureMethodTest, StatusThreeSendsOneOnce) {
    CInspectablePSK method;
    Load(method);
    method.WPARunContext(StateWithStatus(3), false, false);
    EXPECT_STREQ("C1 R", events());
    reset();
    method.WPARunContext(StateWithStatus(3), false, true);
    EXPECT_STREQ("R", events());
    reset();
    method.WPARunContext(StateWithStatus(1), false, false);
    EXPECT_STREQ("C3 C0 R", events());
    reset();
    method.WPARunContext(StateWithStatus(3), false, false);
    EXPECT_STREQ("C1 R", events());
}

TEST_F(WPASecureMethodTest, OtherStatusesOnlyRun) {
    CInspectablePSK method;
    Load(method);
    method.WPARunContext(StateWithStatus(2), false, true);
    method.WPARunContext(StateWithStatus(0), false, false);
    EXPECT_STREQ("R R", events());
    EXPECT_EQ(0, method.LastStatus());
}

TEST_F(WPASecureMethodTest, FirstFlagSendsFourBeforeAnythingElse) {
    CInspectablePSK method;
    Load(method);
    method.WPARunContext(StateWithStatus(1), true, false);
    EXPECT_STREQ("C4 C3 C0 R", events());
    reset();
    method.WPARunContext(StateWithStatus(7), true, false);
    EXPECT_STREQ("C4 R", events());
}

TEST_F(WPASecureMethodTest, LoadStateIsThePreviousStatusOfTheFirstRun) {
    CInspectablePSK method;
    Load(method, 1);
    method.WPARunContext(StateWithStatus(1), false, false);
    EXPECT_STREQ("R", events());
}

TEST_F(WPASecureMethodTest, StateObjectKeepsOneToSixAndMapsTheRestToZero) {
    CWLANWPAPSKSecureMethod method;
    Load(method);
    const struct {
        std::int32_t raw;
        int expected;
    } cases[] = {{9, 0}, {0, 0}, {-1, 0}, {7, 0}, {1, 1}, {4, 4}, {6, 6}};
    for (const auto& c : cases) {
        setState(c.raw);
        std::unique_ptr<IWLANSecureMethodState> state(method.BuildSecureMethodState());
        ASSERT_NE(nullptr, state) << c.raw;
        EXPECT_EQ(WLAN_SECURE_WPAPSK, state->GetSecureMethodUID());
        EXPECT_EQ(c.expected, static_cast<CWLANWPAGenSecureMethodState*>(state.get())->GetWpaState())
            << c.raw;
    }
}

TEST_F(WPASecureMethodTest, ClonesShareTheContextWhichIsFreedOnce) {
    auto* original = new CInspectablePSK();
    Load(*original);
    std::unique_ptr<IWLANSecureMethod> clone(original->Clone());
    ASSERT_NE(nullptr, clone);
    auto* clonePSK = static_cast<CWLANWPAPSKSecureMethod*>(clone.get());
    ASSERT_NE(nullptr, original->Record());
    EXPECT_EQ(2, original->Record()->refCount);
    std::string password;
    EXPECT_EQ(1, clonePSK->GetPassword(password));
    EXPECT_EQ("pass", password);

    delete original;
    EXPECT_EQ(0, freeCount());
    clonePSK->WPARunContext(StateWithStatus(3), false, false);
    EXPECT_STREQ("C1 R", events());
    setState(5);
    std::unique_ptr<IWLANSecureMethodState> state(clonePSK->BuildSecureMethodState());
    ASSERT_NE(nullptr, state);
    EXPECT_EQ(5, static_cast<CWLANWPAGenSecureMethodState*>(state.get())->GetWpaState());

    clone.reset();
    EXPECT_EQ(1, freeCount());
    EXPECT_EQ(0, badFreeCount());
}

TEST_F(WPASecureMethodTest, CopyConstructionAndAssignmentShareAndCount) {
    CInspectablePSK source;
    Load(source);
    {
        CInspectablePSK copy(source);
        EXPECT_EQ(source.Record(), copy.Record());
        EXPECT_EQ(2, source.Record()->refCount);

        CInspectablePSK target;
        Load(target); // target's own context goes when it takes the source's
        target = source;
        EXPECT_EQ(1, freeCount());
        EXPECT_EQ(source.Record(), target.Record());
        EXPECT_EQ(3, source.Record()->refCount);

        CInspectablePSK& alias = target;
        target = alias; // self-assignment
        EXPECT_EQ(3, source.Record()->refCount);
        target = copy; // same record on both sides
        EXPECT_EQ(3, source.Record()->refCount);
    }
    EXPECT_EQ(1, freeCount());
    EXPECT_EQ(1, source.Record()->refCount);
}

TEST_F(WPASecureMethodTest, ClonesMadeBeforeLoadingLoadTheirOwn) {
    CInspectablePSK method;
    ASSERT_EQ(1, method.SetPassword("pass"));
    std::unique_ptr<IWLANSecureMethod> early(method.Clone());
    ASSERT_NE(nullptr, early);
    auto* earlyPSK = static_cast<CWLANWPAPSKSecureMethod*>(early.get());
    EXPECT_EQ(1, method.WPALoadContext(CWLANState(), "Net", nullptr));
    EXPECT_EQ(1, earlyPSK->WPALoadContext(CWLANState(), "Net", nullptr));
    EXPECT_EQ(2, createdCount());
}

TEST_F(WPASecureMethodTest, ReleaseEmptiesTheSharedRecordForEveryClone) {
    CInspectablePSK method;
    Load(method);
    std::unique_ptr<IWLANSecureMethod> clone(method.Clone());
    ASSERT_NE(nullptr, clone);
    auto* clonePSK = static_cast<CWLANWPAPSKSecureMethod*>(clone.get());

    method.WPAReleaseContext();
    EXPECT_EQ(1, freeCount());
    ASSERT_NE(nullptr, method.Record());
    EXPECT_EQ(0, method.Record()->refCount);
    EXPECT_EQ(nullptr, method.Record()->context);

    EXPECT_EQ(nullptr, method.BuildSecureMethodState());
    EXPECT_EQ(nullptr, clonePSK->BuildSecureMethodState());
    clonePSK->WPARunContext(StateWithStatus(1), true, true);
    EXPECT_STREQ("", events());
    EXPECT_EQ(0, method.WPALoadContext(CWLANState(), "Net", nullptr));
    EXPECT_EQ(0, clonePSK->WPALoadContext(CWLANState(), "Net", nullptr));
    EXPECT_EQ(0, loadCount());

    // A clone of a released method shares the emptied record too.
    std::unique_ptr<IWLANSecureMethod> late(method.Clone());
    ASSERT_NE(nullptr, late);
    EXPECT_EQ(0,
              static_cast<CWLANWPAPSKSecureMethod*>(late.get())->WPALoadContext(CWLANState(), "N", nullptr));

    method.WPAReleaseContext(); // again: nothing left to free
    clone.reset();
    late.reset();
    EXPECT_EQ(1, freeCount());
}

TEST_F(WPASecureMethodTest, ReleaseWithoutRecordDoesNothing) {
    CInspectablePSK method;
    method.WPAReleaseContext();
    EXPECT_EQ(0, freeCount());
    EXPECT_EQ(nullptr, method.Record());
    ASSERT_EQ(1, method.SetPassword("pass"));
    EXPECT_EQ(1, method.WPALoadContext(CWLANState(), "Net", nullptr));
}

TEST_F(WPASecureMethodTest, DestroyingTheOnlyHolderFreesTheContext) {
    {
        CWLANWPAPSKSecureMethod method;
        Load(method);
        EXPECT_EQ(liveAtStart + 1, liveCount());
    }
    EXPECT_EQ(1, freeCount());
}

TEST_F(WPASecureMethodTest, ProfileCopiesShareALoadedContextAndFreeItOnce) {
    {
        CWLANProfil source("Net", WLAN_SECURE_WPAPSK);
        auto* method = static_cast<CWLANWPAPSKSecureMethod*>(source.GetSecureMethodIF());
        ASSERT_NE(nullptr, method);
        Load(*method);
        CWLANProfil target;
        target = source;
        CWLANProfil copy(target);
        auto* targetMethod = static_cast<CWLANWPAPSKSecureMethod*>(target.GetSecureMethodIF());
        ASSERT_NE(nullptr, targetMethod);
        EXPECT_NE(method, targetMethod);
        targetMethod->WPARunContext(StateWithStatus(3), false, false);
        EXPECT_STREQ("C1 R", events());
        EXPECT_EQ(0, freeCount());
    }
    EXPECT_EQ(1, freeCount());
}

} // namespace
