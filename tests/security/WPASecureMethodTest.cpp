#include "airvane/security/WLANProfil.h"
#include "airvane/security/WPAPSKSecureMethod.h"

#include "SecurityTestHelpers.h"
#include "tests/modules/wpa_stub/WpaStubDouble.h"
#include "tests/support/CaseFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace stub = wpa_stub_double;
using Method = CWLANWPAPSKSecureMethod;

// Reaches the protected parts that tell how a context record is shared, on any method object.
class CRecordAccess : public Method {
public:
    static const stWPAContextRef* Record(const Method& method) { return method.*(&CRecordAccess::m_context); }
    static std::int32_t LastStatus(const Method& method) {
        return (method.*(&CRecordAccess::m_lastState)).m_status;
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

template <typename Fn = stub::CountFn> Fn Stub(const char* name) {
    return airvane::test::ModuleExport<Fn>(stub::kModuleName, name);
}

std::string Counts() {
    return "loads=" + std::to_string(Stub(stub::kLoadCount)()) +
           " created=" + std::to_string(Stub(stub::kCreatedCount)()) +
           " frees=" + std::to_string(Stub(stub::kFreeCount)());
}

// One step of a script of cases/wpa.txt, which describes the steps.
std::string Step(std::map<std::string, std::unique_ptr<Method>>& methods, std::vector<std::string> w) {
    for (std::string& word : w) {
        std::replace(word.begin(), word.end(), '+', ' ');
        word = word == "\"\"" ? std::string() : word;
    }
    const auto word = [&w](std::size_t i) { return i < w.size() ? w[i] : std::string(); };
    const auto number = [&word](std::size_t i) {
        return static_cast<int>(std::strtol(word(i).c_str(), nullptr, 0));
    };
    const std::string& c = w[0];
    std::unique_ptr<Method>& m = methods[word(1)];
    const Method* const from = methods.count(word(2)) != 0 ? methods[word(2)].get() : nullptr;
    std::string key = airvane::test::BytesOf(word(2)); // zero-padded to the bit count that follows
    key.resize(std::max<std::size_t>(key.size(), (static_cast<std::size_t>(number(3)) + 7) / 8));
    if (c == "new" || c == "copy" || c == "clone") {
        m.reset(c == "new"    ? new Method()
                : c == "copy" ? new Method(*from)
                              : static_cast<Method*>(from->Clone()));
    } else if (c == "assign") {
        *m = *from;
    } else if (c == "delete") {
        m.reset();
    } else if (c == "release") {
        m->WPAReleaseContext();
    } else if (c == "forget") {
        Stub<stub::ResetFn>(stub::kReset)();
    } else if (c == "fail-next-load") {
        Stub<stub::FailNextLoadFn>(stub::kFailNextLoad)();
    } else if (c == "stub-state") {
        Stub<stub::SetStateFn>(stub::kSetState)(number(1));
    } else if (c == "run") {
        Stub<stub::ResetFn>(stub::kReset)();
        m->WPARunContext(StateWithStatus(number(2)), number(3) != 0, number(4) != 0);
        return std::string(Stub<stub::EventsFn>(stub::kEvents)()) +
               " status=" + std::to_string(CRecordAccess::LastStatus(*m));
    }
    if (c == "password" || c == "key" || c == "null-key" || c == "load" || c == "uid") {
        return std::to_string(c == "password" ? m->SetPassword(word(2) == "-" ? nullptr : word(2).c_str())
                              : c == "key"    ? m->SetKey(reinterpret_cast<const unsigned char*>(key.data()),
                                                          static_cast<std::uint32_t>(number(3)))
                              : c == "load"
                                  ? m->WPALoadContext(StateWithStatus(number(3)), word(2).c_str(),
                                                      word(4) == "adapter" ? FakeAdapter() : nullptr)
                              : c == "uid" ? m->GetSecureMethodUID()
                                           : m->GetKey(nullptr));
    }
    if (c == "secrets") {
        std::string password = "previous";
        unsigned char out[32] = {};
        const int hasPassword = m->GetPassword(password);
        const int hasKey = m->GetKey(out);
        return "pw=" + std::to_string(hasPassword) + ":" + password + " key=" + std::to_string(hasKey) + ":" +
               std::to_string(m->GetKeySizeInBit()) + ":" + std::to_string(out[3]);
    }
    if (c == "share") {
        const stWPAContextRef* const record = CRecordAccess::Record(*m);
        return record == nullptr ? "none"
                                 : "refs=" + std::to_string(record->refCount) +
                                       (record->context != nullptr ? " live" : " empty");
    }
    if (c == "state") {
        const int state = airvane::test::StateOf(*m, &CWLANWPAGenSecureMethodState::GetWpaState);
        return state < 0 ? "none" : std::to_string(state);
    }
    if (c == "status") {
        return std::to_string(CRecordAccess::LastStatus(*m));
    }
    if (c == "record") {
        return CRecordAccess::Record(*m) == CRecordAccess::Record(*from) ? "same" : "different";
    }
    if (c == "block") {
        return Stub<stub::LastBlockFn>(stub::kLastBlock)();
    }
    if (c == "adapter") {
        const void* const adapter = Stub<stub::LastAdapterFn>(stub::kLastAdapter)();
        return adapter == FakeAdapter() ? "fake" : adapter == nullptr ? "none" : "other";
    }
    return c == "counts" ? Counts() : std::string();
}

class WPASecureMethodTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {stub::kReset, stub::kSetState, stub::kFailNextLoad, stub::kLastBlock,
                                 stub::kLastAdapter, stub::kEvents, stub::kLoadCount, stub::kCreatedCount,
                                 stub::kFreeCount, stub::kLiveCount, stub::kBadFreeCount}) {
            ASSERT_NE(nullptr, Stub<void*>(name)) << name << ": wpa_stub.dll double not found";
        }
        Stub<stub::ResetFn>(stub::kReset)();
        liveAtStart = Stub(stub::kLiveCount)();
    }
    // Every context is freed exactly once.
    void ExpectAllFreed() const {
        EXPECT_EQ(liveAtStart, Stub(stub::kLiveCount)()) << "supplicant context not freed";
        EXPECT_EQ(0, Stub(stub::kBadFreeCount)()) << "context freed twice or unknown pointer freed";
    }
    int liveAtStart = 0;
};

TEST_F(WPASecureMethodTest, Scripts) {
    for (const airvane::test::stCase& c : airvane::test::ReadCases(AIRVANE_SECURITY_CASES "/wpa.txt")) {
        SCOPED_TRACE(c.name);
        {
            std::map<std::string, std::unique_ptr<Method>> methods;
            airvane::test::RunSteps(
                c, [&methods](const std::vector<std::string>& w) { return Step(methods, w); });
        }
        ExpectAllFreed();
        Stub<stub::ResetFn>(stub::kReset)();
    }
}

TEST_F(WPASecureMethodTest, ProfileCopiesShareALoadedContextAndFreeItOnce) {
    {
        CWLANProfil source("Net", WLAN_SECURE_WPAPSK);
        auto* method = static_cast<Method*>(source.GetSecureMethodIF());
        ASSERT_NE(nullptr, method);
        ASSERT_EQ(1, method->SetPassword("pass"));
        ASSERT_EQ(1, method->WPALoadContext(StateWithStatus(4), "Net", FakeAdapter()));
        EXPECT_EQ(liveAtStart + 1, Stub(stub::kLiveCount)());
        CWLANProfil target;
        target = source;
        CWLANProfil copy(target);
        auto* targetMethod = static_cast<Method*>(target.GetSecureMethodIF());
        ASSERT_NE(nullptr, targetMethod);
        EXPECT_NE(method, targetMethod);
        Stub<stub::ResetFn>(stub::kReset)();
        targetMethod->WPARunContext(StateWithStatus(3), false, false);
        EXPECT_STREQ("C1 R", Stub<stub::EventsFn>(stub::kEvents)());
        EXPECT_EQ(0, Stub(stub::kFreeCount)());
    }
    EXPECT_EQ(1, Stub(stub::kFreeCount)());
    ExpectAllFreed();
}

} // namespace
