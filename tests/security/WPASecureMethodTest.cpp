#include "airvane/security/WLANProfil.h"
#include "airvane/security/WPAPSKSecureMethod.h"

#include "SecurityTestHelpers.h"
#include "tests/modules/wpa_stub/WpaStubDouble.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace stub = wpa_stub_double;

// Reaches the protected parts that tell how a context record is shared.
class CInspectablePSK : public CWLANWPAPSKSecureMethod {
public:
    const stWPAContextRef* Record() const { return m_context; }
    std::int32_t LastStatus() const { return m_lastState.m_status; }
    // The shared record: none, or its count and whether it still holds a context.
    std::string Share() const {
        return m_context == nullptr ? "none"
                                    : "refs=" + std::to_string(m_context->refCount) +
                                          (m_context->context != nullptr ? " live" : " empty");
    }
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

CWLANWPAPSKSecureMethod* AsPSK(const std::unique_ptr<IWLANSecureMethod>& method) {
    return static_cast<CWLANWPAPSKSecureMethod*>(method.get());
}

int WpaStateOf(const CWLANWPAPSKSecureMethod& method) {
    return airvane::test::StateOf(method, &CWLANWPAGenSecureMethodState::GetWpaState);
}

template <typename Fn = stub::CountFn> Fn Stub(const char* name) {
    return airvane::test::ModuleExport<Fn>(stub::kModuleName, name);
}

// Script and records of the supplicant stub double, reached through the loaded module.
class WPASecureMethodTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {stub::kReset, stub::kSetState, stub::kFailNextLoad, stub::kLastBlock,
                                 stub::kLastAdapter, stub::kEvents, stub::kLoadCount, stub::kCreatedCount,
                                 stub::kFreeCount, stub::kLiveCount, stub::kBadFreeCount}) {
            ASSERT_NE(nullptr, Stub<void*>(name)) << name << ": wpa_stub.dll double not found";
        }
        reset();
        liveAtStart = Count(stub::kLiveCount);
    }
    void TearDown() override {
        if (reset != nullptr) {
            EXPECT_EQ(liveAtStart, Count(stub::kLiveCount)) << "supplicant context not freed";
            EXPECT_EQ(0, Count(stub::kBadFreeCount)) << "context freed twice or unknown pointer freed";
        }
    }
    static int Count(const char* name) { return Stub(name)(); }

    // A method with a pass phrase and a loaded context (status of the load's state given).
    void Load(CWLANWPAPSKSecureMethod& method, std::int32_t status = 4) {
        ASSERT_EQ(1, method.SetPassword("pass"));
        ASSERT_EQ(1, method.WPALoadContext(StateWithStatus(status), "Net", FakeAdapter()));
        reset(); // keep only the calls that follow
    }
    // The stub's load, creation and free counts since the last reset.
    static std::string Counts() {
        return "loads=" + std::to_string(Count(stub::kLoadCount)) +
               " created=" + std::to_string(Count(stub::kCreatedCount)) +
               " frees=" + std::to_string(Count(stub::kFreeCount));
    }
    // Runs one step and returns the calls the context received.
    std::string Run(CWLANWPAGenSecureMethod& method, std::int32_t status, bool first, bool force) {
        reset();
        method.WPARunContext(StateWithStatus(status), first, force);
        return events();
    }

    const stub::ResetFn reset = Stub<stub::ResetFn>(stub::kReset);
    const stub::SetStateFn setState = Stub<stub::SetStateFn>(stub::kSetState);
    const stub::FailNextLoadFn failNextLoad = Stub<stub::FailNextLoadFn>(stub::kFailNextLoad);
    const stub::LastBlockFn lastBlock = Stub<stub::LastBlockFn>(stub::kLastBlock);
    const stub::LastAdapterFn lastAdapter = Stub<stub::LastAdapterFn>(stub::kLastAdapter);
    const stub::EventsFn events = Stub<stub::EventsFn>(stub::kEvents);
    int liveAtStart = 0;
};

std::string Block(const std::string& ssid, const std::string& psk) {
    return "network={\n\t\t\t\t\tssid=\"" + ssid + "\"\n\t\t\t\t\tpsk=" + psk +
           "\n\t\t\t\t\tpriority=1\n\t\t\t\t\tkey_mgmt=WPA-PSK\n\t\t\t\t\t}\n";
}

TEST_F(WPASecureMethodTest, NetworkBlocksAreByteExact) {
    CWLANWPAPSKSecureMethod phrase;
    ASSERT_EQ(1, phrase.SetPassword("correct horse"));
    ASSERT_EQ(1, phrase.WPALoadContext(CWLANState(), "Home Net", FakeAdapter()));
    EXPECT_EQ(Block("Home Net", "\"correct horse\""), lastBlock());
    EXPECT_EQ(static_cast<const void*>(FakeAdapter()), lastAdapter());
    EXPECT_EQ("loads=1 created=1 frees=0", Counts());

    std::array<unsigned char, 32> key{};
    for (std::size_t i = 0; i < key.size(); ++i) {
        key[i] = static_cast<unsigned char>(i < 16 ? i : 0xE0 + i); // 00..0F then F0..FF
    }
    CWLANWPAPSKSecureMethod keyed;
    ASSERT_EQ(1, keyed.SetKey(key.data(), 256));
    ASSERT_EQ(1, keyed.WPALoadContext(CWLANState(), "Lab", nullptr));
    EXPECT_EQ(Block("Lab", "000102030405060708090A0B0C0D0E0FF0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF"), lastBlock());
    EXPECT_EQ(nullptr, lastAdapter());

    // Inserted text is neither escaped nor scanned again for the placeholder.
    CWLANWPAPSKSecureMethod quoted;
    ASSERT_EQ(1, quoted.SetPassword("a\"b%PSK%c"));
    ASSERT_EQ(1, quoted.WPALoadContext(CWLANState(), "q\"uote", nullptr));
    EXPECT_EQ(Block("q\"uote", "\"a\"b%PSK%c\""), lastBlock());
}

// The pass phrase and key as the getters report them.
std::string Secrets(const CWLANWPAPSKSecureMethod& method) {
    std::string password = "previous";
    unsigned char key[32] = {};
    const int hasPassword = method.GetPassword(password);
    const int hasKey = method.GetKey(key);
    return "pw=" + std::to_string(hasPassword) + ":" + password + " key=" + std::to_string(hasKey) + ":" +
           std::to_string(method.GetKeySizeInBit()) + ":" + std::to_string(key[3]);
}

TEST_F(WPASecureMethodTest, KeyAndPassPhraseExcludeEachOtherAndRefusalsChangeNothing) {
    const unsigned char key[33] = {1, 2, 3, 4};
    CWLANWPAPSKSecureMethod method;
    EXPECT_EQ(WLAN_SECURE_WPAPSK, method.GetSecureMethodUID());
    EXPECT_EQ("pw=0: key=0:0:0", Secrets(method));
    ASSERT_EQ(1, method.SetPassword("phrase"));
    ASSERT_EQ(1, method.SetKey(key, 128));
    EXPECT_EQ("pw=0: key=1:128:4", Secrets(method));
    ASSERT_EQ(1, method.SetPassword("keep"));
    EXPECT_EQ("pw=1:keep key=0:0:0", Secrets(method));
    EXPECT_EQ(0, method.SetKey(key, 257));
    EXPECT_EQ(0, method.SetPassword(nullptr));
    EXPECT_EQ(0, method.SetPassword(""));
    EXPECT_EQ("pw=1:keep key=0:0:0", Secrets(method));
    EXPECT_EQ(0, method.GetKey(nullptr));
    ASSERT_EQ(1, method.SetKey(key, 0)); // an empty key clears the pass phrase too
    EXPECT_EQ("pw=0: key=0:0:0", Secrets(method));
}

TEST_F(WPASecureMethodTest, LoadFailuresAttachNothing) {
    CInspectablePSK method;
    EXPECT_EQ("none", method.Share());
    EXPECT_EQ(4, method.LastStatus());
    EXPECT_EQ(nullptr, method.BuildSecureMethodState());
    // Without key or pass phrase there is nothing to load: the stub is not called.
    EXPECT_EQ(0, method.WPALoadContext(CWLANState(), "Net", nullptr));
    EXPECT_EQ("loads=0 created=0 frees=0", Counts());

    // A stub returning null leaves no record and keeps the last state; the next attempt loads.
    ASSERT_EQ(1, method.SetPassword("pass"));
    failNextLoad();
    EXPECT_EQ(0, method.WPALoadContext(StateWithStatus(1), "Net", nullptr));
    EXPECT_EQ("loads=1 created=0 frees=0", Counts());
    EXPECT_EQ("none", method.Share());
    EXPECT_EQ(4, method.LastStatus());
    EXPECT_EQ(1, method.WPALoadContext(StateWithStatus(3), "Net", nullptr));
    EXPECT_EQ("refs=1 live", method.Share());
    EXPECT_EQ(3, method.LastStatus());

    // A second load on the same object is refused.
    const stWPAContextRef* const record = method.Record();
    EXPECT_EQ(0, method.WPALoadContext(CWLANState(), "Other", nullptr));
    EXPECT_EQ("loads=2 created=1 frees=0", Counts());
    EXPECT_EQ(record, method.Record());
}

TEST_F(WPASecureMethodTest, RunSendsCommandsByStatusChange) {
    struct stStep {
        std::int32_t status;
        bool first;
        bool force;
        const char* events;
    };
    const struct {
        const char* name;
        std::int32_t loadStatus;
        std::vector<stStep> steps;
    } cases[] = {
        {"status 1 sends 3 then 0 once unless forced",
         4,
         {{1, 0, 0, "C3 C0 R"}, {1, 0, 0, "R"}, {1, 0, 1, "C3 C0 R"}}},
        {"status 3 sends 1 once, even forced",
         4,
         {{3, 0, 0, "C1 R"}, {3, 0, 1, "R"}, {1, 0, 0, "C3 C0 R"}, {3, 0, 0, "C1 R"}}},
        {"other statuses only run", 4, {{2, 0, 1, "R"}, {0, 0, 0, "R"}}},
        {"first sends 4 before anything", 4, {{1, 1, 0, "C4 C3 C0 R"}, {7, 1, 0, "C4 R"}}},
        {"the load's state is the previous status", 1, {{1, 0, 0, "R"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CInspectablePSK method;
        Load(method, c.loadStatus);
        for (const stStep& step : c.steps) {
            EXPECT_EQ(step.events, Run(method, step.status, step.first, step.force));
            EXPECT_EQ(step.status, method.LastStatus());
        }
    }
    CInspectablePSK unloaded; // without a context nothing happens
    EXPECT_EQ("", Run(unloaded, 1, true, true));
    EXPECT_EQ(4, unloaded.LastStatus());
}

TEST_F(WPASecureMethodTest, StateObjectKeepsOneToSixAndMapsTheRestToZero) {
    CWLANWPAPSKSecureMethod method;
    Load(method);
    for (const auto& c : {std::pair<int, int>{9, 0}, {0, 0}, {-1, 0}, {7, 0}, {1, 1}, {4, 4}, {6, 6}}) {
        setState(c.first);
        EXPECT_EQ(c.second, WpaStateOf(method)) << c.first;
    }
}

TEST_F(WPASecureMethodTest, ClonesShareTheContextWhichIsFreedOnce) {
    auto* original = new CInspectablePSK();
    Load(*original);
    std::unique_ptr<IWLANSecureMethod> clone(original->Clone());
    ASSERT_NE(nullptr, clone);
    EXPECT_EQ("refs=2 live", original->Share());
    EXPECT_EQ("pw=1:pass key=0:0:0", Secrets(*AsPSK(clone)));
    delete original;
    EXPECT_EQ("loads=0 created=0 frees=0", Counts());
    EXPECT_EQ("C1 R", Run(*AsPSK(clone), 3, false, false));
    setState(5);
    EXPECT_EQ(5, WpaStateOf(*AsPSK(clone)));
    clone.reset();
    EXPECT_EQ("loads=0 created=0 frees=1", Counts());
}

TEST_F(WPASecureMethodTest, CopyConstructionAndAssignmentShareAndCount) {
    CInspectablePSK source;
    Load(source);
    {
        CInspectablePSK copy(source);
        EXPECT_EQ(source.Record(), copy.Record());
        EXPECT_EQ("refs=2 live", source.Share());
        CInspectablePSK target;
        Load(target); // target's own context goes when it takes the source's
        target = source;
        EXPECT_EQ("loads=0 created=0 frees=1", Counts());
        EXPECT_EQ(source.Record(), target.Record());
        EXPECT_EQ("refs=3 live", source.Share());
        CInspectablePSK& alias = target;
        target = alias; // self-assignment
        EXPECT_EQ("refs=3 live", source.Share());
        target = copy; // same record on both sides
        EXPECT_EQ("refs=3 live", source.Share());
    }
    EXPECT_EQ("loads=0 created=0 frees=1", Counts());
    EXPECT_EQ("refs=1 live", source.Share());

    // Clones made before loading load their own context.
    CInspectablePSK early;
    ASSERT_EQ(1, early.SetPassword("pass"));
    std::unique_ptr<IWLANSecureMethod> earlyClone(early.Clone());
    ASSERT_NE(nullptr, earlyClone);
    EXPECT_EQ(1, early.WPALoadContext(CWLANState(), "Net", nullptr));
    EXPECT_EQ(1, AsPSK(earlyClone)->WPALoadContext(CWLANState(), "Net", nullptr));
    EXPECT_EQ("loads=2 created=2 frees=1", Counts());
}

TEST_F(WPASecureMethodTest, ReleaseEmptiesTheSharedRecordForEveryClone) {
    CInspectablePSK method;
    method.WPAReleaseContext(); // without a record: nothing to do
    EXPECT_EQ("none", method.Share());
    Load(method);
    std::unique_ptr<IWLANSecureMethod> clone(method.Clone());
    ASSERT_NE(nullptr, clone);
    method.WPAReleaseContext();
    EXPECT_EQ("refs=0 empty", method.Share());
    EXPECT_EQ(nullptr, method.BuildSecureMethodState());
    EXPECT_EQ(nullptr, clone->BuildSecureMethodState());
    AsPSK(clone)->WPARunContext(StateWithStatus(1), true, true);
    EXPECT_STREQ("", events());
    EXPECT_EQ(0, method.WPALoadContext(CWLANState(), "Net", nullptr));
    EXPECT_EQ(0, AsPSK(clone)->WPALoadContext(CWLANState(), "Net", nullptr));
    std::unique_ptr<IWLANSecureMethod> late(method.Clone()); // shares the emptied record too
    ASSERT_NE(nullptr, late);
    EXPECT_EQ(0, AsPSK(late)->WPALoadContext(CWLANState(), "N", nullptr));
    method.WPAReleaseContext(); // again: nothing left to free
    clone.reset();
    late.reset();
    EXPECT_EQ("loads=0 created=0 frees=1", Counts());
}

TEST_F(WPASecureMethodTest, ProfileCopiesShareALoadedContextAndFreeItOnce) {
    {
        CWLANProfil source("Net", WLAN_SECURE_WPAPSK);
        auto* method = static_cast<CWLANWPAPSKSecureMethod*>(source.GetSecureMethodIF());
        ASSERT_NE(nullptr, method);
        Load(*method);
        EXPECT_EQ(liveAtStart + 1, Count(stub::kLiveCount));
        CWLANProfil target;
        target = source;
        CWLANProfil copy(target);
        auto* targetMethod = static_cast<CWLANWPAPSKSecureMethod*>(target.GetSecureMethodIF());
        ASSERT_NE(nullptr, targetMethod);
        EXPECT_NE(method, targetMethod);
        EXPECT_EQ("C1 R", Run(*targetMethod, 3, false, false));
        EXPECT_EQ(0, Count(stub::kFreeCount));
    }
    EXPECT_EQ(1, Count(stub::kFreeCount));
}

} // namespace
