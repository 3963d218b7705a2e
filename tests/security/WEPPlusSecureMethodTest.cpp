#include "airvane/security/WEPPlusSecureMethod.h"

#include "airvane/platform/Clock.h"
#include "airvane/system/Registry.h"

#include "FakeWepPlusAdapter.h"
#include "ModuleExports.h"
#include "tests/modules/wepplus/WepPlusDouble.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

namespace vendor = wepplus_double;
using airvane::test::CFakeWepPlusAdapter;
using airvane::test::ModuleExport;

constexpr const char kKeyPath[] = "HKEY_CURRENT_USER\\Software\\AirvaneTests\\WepPlus";

int StateOf(const CWLANWEPPlusSecureMethod& method) {
    std::unique_ptr<IWLANSecureMethodState> state(method.BuildSecureMethodState());
    EXPECT_NE(nullptr, state);
    if (state == nullptr) {
        return -1;
    }
    EXPECT_EQ(WLAN_SECURE_WEPPLUS, state->GetSecureMethodUID());
    return static_cast<CWLANWEPPlusSecureMethodState*>(state.get())->GetWepPlusState();
}

// Method whose run-time flags a test can read.
class CInspectableWEPPlus : public CWLANWEPPlusSecureMethod {
public:
    int Keyed() const { return m_keyed; }
    int Indicator() const { return m_indicator; }
};

class WEPPlusSecureMethodTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset = ModuleExport<vendor::ResetFn>(vendor::kModuleName, vendor::kReset);
        setResult = ModuleExport<vendor::SetResultFn>(vendor::kModuleName, vendor::kSetResult);
        callCount = ModuleExport<vendor::CallCountFn>(vendor::kModuleName, vendor::kCallCount);
        lastMethod = ModuleExport<vendor::LastPointerFn>(vendor::kModuleName, vendor::kLastMethod);
        lastAdapter = ModuleExport<vendor::LastPointerFn>(vendor::kModuleName, vendor::kLastAdapter);
        ASSERT_TRUE(reset && setResult && callCount && lastMethod && lastAdapter)
            << "WepPlusInventel.dll double not found beside the test executable";
        reset();
    }
    void TearDown() override { airvane::platform::RemoveFakeClock(); }

    // Keys `method` with the renewal routine succeeding at tick `now`.
    void KeyAt(CWLANWEPPlusSecureMethod& method, std::uint32_t now) {
        airvane::platform::InstallFakeClock(now);
        method.SetPeriodType(CWLANWEPPlusSecureMethod::INTERVAL_TIME, 1000);
        setResult(1);
        method.CheckWepPlus(&adapter);
        ASSERT_EQ(now, method.GetMark());
        ASSERT_EQ(1, StateOf(method));
    }

    vendor::ResetFn reset = nullptr;
    vendor::SetResultFn setResult = nullptr;
    vendor::CallCountFn callCount = nullptr;
    vendor::LastPointerFn lastMethod = nullptr;
    vendor::LastPointerFn lastAdapter = nullptr;
    CFakeWepPlusAdapter adapter;
};

TEST_F(WEPPlusSecureMethodTest, Defaults) {
    CWLANWEPPlusSecureMethod method;
    EXPECT_EQ(WLAN_SECURE_WEPPLUS, method.GetSecureMethodUID());
    EXPECT_EQ(0u, method.GetKeySizeInBit());
    EXPECT_EQ(1, method.GetMode());
    EXPECT_EQ(0u, method.GetMark());
    EXPECT_EQ(0, method.GetPairing());
    EXPECT_STREQ("", method.GetWepPlusKeyPath());
    EXPECT_EQ(CWLANWEPPlusSecureMethod::INTERVAL_COUNTER, method.GetPeriodType());
    EXPECT_EQ(10000u, method.GetPeriod());
    EXPECT_EQ(0, StateOf(method));
}

TEST_F(WEPPlusSecureMethodTest, PeriodIsRaisedToOneSecond) {
    CWLANWEPPlusSecureMethod method;
    method.SetPeriodType(CWLANWEPPlusSecureMethod::INTERVAL_TIME, 500);
    EXPECT_EQ(CWLANWEPPlusSecureMethod::INTERVAL_TIME, method.GetPeriodType());
    EXPECT_EQ(1000u, method.GetPeriod());
    method.SetPeriodType(CWLANWEPPlusSecureMethod::INTERVAL_TIME, 1000);
    EXPECT_EQ(1000u, method.GetPeriod());
    method.SetPeriodType(CWLANWEPPlusSecureMethod::INTERVAL_COUNTER, 20000);
    EXPECT_EQ(20000u, method.GetPeriod());
}

TEST_F(WEPPlusSecureMethodTest, RecognisesDevicesByHardwareIdentifier) {
    EXPECT_EQ(1, CWLANWEPPlusSecureMethod::IsWepPlusAdapter("ROOT\\USB\\VID_03EB&PID_7605\\5&1A"));
    EXPECT_EQ(1, CWLANWEPPlusSecureMethod::IsWepPlusAdapter("xPCMCIA\\ATMEL-AT76C502AR_Dy"));
    EXPECT_EQ(1, CWLANWEPPlusSecureMethod::IsWepPlusAdapter("PCMCIA\\Atmel-AT76C502AR_E-1234"));
    EXPECT_EQ(1, CWLANWEPPlusSecureMethod::IsWepPlusAdapter("usb\\vid_0967&pid_0204"));
    EXPECT_EQ(0, CWLANWEPPlusSecureMethod::IsWepPlusAdapter("USB\\VID_03EB&PID_7606"));
    EXPECT_EQ(0, CWLANWEPPlusSecureMethod::IsWepPlusAdapter("PCMCIA\\ATMEL-AT76C502AR_F"));
    EXPECT_EQ(0, CWLANWEPPlusSecureMethod::IsWepPlusAdapter(""));
    EXPECT_EQ(0, CWLANWEPPlusSecureMethod::IsWepPlusAdapter(nullptr));
}

TEST_F(WEPPlusSecureMethodTest, CopiesCarryEveryField) {
    const unsigned char key[5] = {1, 2, 3, 4, 5};
    CWLANWEPPlusSecureMethod method;
    ASSERT_EQ(1, method.SetKey(key, 40));
    method.SetWepPlusKeyPath(kKeyPath);
    method.SetPairing(1);
    method.SetPeriodType(CWLANWEPPlusSecureMethod::INTERVAL_TIME, 4000);
    airvane::platform::InstallFakeClock(777);
    setResult(1);
    method.CheckWepPlus(&adapter);

    std::unique_ptr<IWLANSecureMethod> clone(method.Clone());
    ASSERT_NE(nullptr, clone);
    ASSERT_EQ(WLAN_SECURE_WEPPLUS, clone->GetSecureMethodUID());
    const CWLANWEPPlusSecureMethod* const copies[] = {static_cast<CWLANWEPPlusSecureMethod*>(clone.get()),
                                                      &method};
    for (const CWLANWEPPlusSecureMethod* copy : copies) {
        EXPECT_EQ(40u, copy->GetKeySizeInBit());
        EXPECT_STREQ(kKeyPath, copy->GetWepPlusKeyPath());
        EXPECT_EQ(1, copy->GetPairing());
        EXPECT_EQ(CWLANWEPPlusSecureMethod::INTERVAL_TIME, copy->GetPeriodType());
        EXPECT_EQ(4000u, copy->GetPeriod());
        EXPECT_EQ(777u, copy->GetMark());
        EXPECT_EQ(1, StateOf(*copy));
    }
    CWLANWEPPlusSecureMethod assigned;
    assigned = method;
    EXPECT_EQ(777u, assigned.GetMark());
    EXPECT_EQ(1, StateOf(assigned));
    EXPECT_STREQ(kKeyPath, assigned.GetWepPlusKeyPath());
}

TEST_F(WEPPlusSecureMethodTest, NullAdapterIsIgnored) {
    CWLANWEPPlusSecureMethod method;
    setResult(1);
    method.CheckWepPlus(nullptr);
    EXPECT_EQ(0, callCount());
    EXPECT_EQ(0, StateOf(method));
}

TEST_F(WEPPlusSecureMethodTest, StatesFollowTheRenewalResultsAndReset) {
    CInspectableWEPPlus method;
    adapter.indicator = {{0, 0, 7, 0}};
    setResult(0);
    method.CheckWepPlus(&adapter);
    EXPECT_EQ(1, callCount());
    EXPECT_EQ(static_cast<const void*>(&method), lastMethod());
    EXPECT_EQ(static_cast<const void*>(&adapter), lastAdapter());
    EXPECT_EQ(1, adapter.indicatorCalls);
    EXPECT_EQ(4u, adapter.lastIndicatorLength);
    EXPECT_TRUE(adapter.indicatorBufferWasZero);
    EXPECT_EQ(2, StateOf(method));

    setResult(1);
    method.CheckWepPlus(&adapter); // not keyed yet: tries again
    EXPECT_EQ(2, callCount());
    EXPECT_EQ(1, method.Keyed());
    EXPECT_EQ(0, method.Indicator()); // keyed: the indicator no longer counts
    EXPECT_EQ(1, StateOf(method));

    method.resetWepPlus();
    EXPECT_EQ(0, StateOf(method));
    EXPECT_EQ(0u, method.GetMark());
}

TEST_F(WEPPlusSecureMethodTest, IndicatorNeedsASuccessfulReadAndANonZeroByte) {
    CInspectableWEPPlus method;
    adapter.indicator = {{0, 0, 0, 0}};
    method.CheckWepPlus(&adapter);
    EXPECT_EQ(0, StateOf(method));
    adapter.indicator = {{0, 0, 0, 1}};
    adapter.indicatorOk = false;
    method.CheckWepPlus(&adapter);
    EXPECT_EQ(0, method.Indicator());
    adapter.indicatorOk = true;
    method.CheckWepPlus(&adapter);
    EXPECT_EQ(1, method.Indicator());
    EXPECT_EQ(3, callCount()); // every unkeyed check retries the routine
}

TEST_F(WEPPlusSecureMethodTest, PairingAndKeyPathSurviveReset) {
    CWLANWEPPlusSecureMethod method;
    method.SetPairing(1);
    method.SetWepPlusKeyPath(kKeyPath);
    method.resetWepPlus();
    EXPECT_EQ(1, method.GetPairing());
    EXPECT_STREQ(kKeyPath, method.GetWepPlusKeyPath());
}

TEST_F(WEPPlusSecureMethodTest, TimeScheduleRunsOnlyAfterThePeriod) {
    CWLANWEPPlusSecureMethod method;
    KeyAt(method, 5000);
    EXPECT_EQ(1, callCount());
    const int indicatorReads = adapter.indicatorCalls;

    setResult(0); // a renewal's result does not unkey the method
    airvane::platform::SetFakeClock(6000);
    method.CheckWepPlus(&adapter);
    EXPECT_EQ(1, callCount());
    EXPECT_EQ(5000u, method.GetMark());

    airvane::platform::SetFakeClock(6001);
    method.CheckWepPlus(&adapter);
    EXPECT_EQ(2, callCount());
    EXPECT_EQ(6001u, method.GetMark());
    EXPECT_EQ(1, StateOf(method));
    EXPECT_EQ(indicatorReads, adapter.indicatorCalls); // keyed: indicator not refreshed
}

TEST_F(WEPPlusSecureMethodTest, ElapsedTimeAcrossTheWrap) {
    EXPECT_EQ(31u, CWLANWEPPlusSecureMethod::ElapsedSince(0xFFFFFFF0u, 0x10u));
    EXPECT_EQ(0u, CWLANWEPPlusSecureMethod::ElapsedSince(5000, 5000));
    EXPECT_EQ(1001u, CWLANWEPPlusSecureMethod::ElapsedSince(5000, 6001));

    CWLANWEPPlusSecureMethod method;
    KeyAt(method, 0xFFFFFFF0u);
    airvane::platform::SetFakeClock(0x10);
    method.CheckWepPlus(&adapter);
    EXPECT_EQ(1, callCount());
    // Elapsed after the wrap is 15 + tick: 985 gives exactly the period, 986 exceeds it.
    airvane::platform::SetFakeClock(985);
    method.CheckWepPlus(&adapter);
    EXPECT_EQ(1, callCount());
    airvane::platform::SetFakeClock(986);
    method.CheckWepPlus(&adapter);
    EXPECT_EQ(2, callCount());
    EXPECT_EQ(986u, method.GetMark());
}

TEST_F(WEPPlusSecureMethodTest, CounterScheduleUsesTheCounterSum) {
    CWLANWEPPlusSecureMethod method;
    method.SetPeriodType(CWLANWEPPlusSecureMethod::INTERVAL_COUNTER, 1000);
    adapter.counter1 = 0xFFFFFFFFu;
    adapter.counter2 = 2000; // sum wraps to 1999
    setResult(1);
    method.CheckWepPlus(&adapter);
    EXPECT_TRUE(adapter.countersWereZero);
    EXPECT_EQ(1999u, method.GetMark());

    adapter.counter1 = 2000;
    adapter.counter2 = 999; // elapsed 1000: not yet
    method.CheckWepPlus(&adapter);
    EXPECT_EQ(1, callCount());
    adapter.counter2 = 1000; // elapsed 1001
    method.CheckWepPlus(&adapter);
    EXPECT_EQ(2, callCount());
    EXPECT_EQ(3000u, method.GetMark());

    // Counters that cannot be read keep the mark and never look elapsed.
    adapter.countersOk = false;
    method.CheckWepPlus(&adapter);
    EXPECT_EQ(2, callCount());
    EXPECT_EQ(3000u, method.GetMark());
}

TEST_F(WEPPlusSecureMethodTest, FailingCountersKeepTheOldMarkWhenKeying) {
    CWLANWEPPlusSecureMethod method;
    adapter.countersOk = false;
    setResult(1);
    method.CheckWepPlus(&adapter);
    EXPECT_EQ(1, StateOf(method));
    EXPECT_EQ(0u, method.GetMark());
}

// Key store tests use a private registry store.
class WEPPlusKeyStoreTest : public WEPPlusSecureMethodTest {
protected:
    void SetUp() override {
        WEPPlusSecureMethodTest::SetUp();
        method.SetWepPlusKeyPath(kKeyPath);
    }
    airvane::test::CScopedRegistry registry;
    CWLANWEPPlusSecureMethod method;
};

TEST_F(WEPPlusKeyStoreTest, LinkKeyIsStoredUnderInterleavedAddresses) {
    method.SetPairing(1);
    ASSERT_NE(0, method.SetLinkKey(&adapter, "0123456789"));
    EXPECT_EQ(0, method.GetPairing());
    EXPECT_EQ(6u, adapter.lastAddressLength);
    EXPECT_EQ(6u, adapter.lastPeerLength);
    std::string stored;
    ASSERT_EQ(1, RegistryGetString(kKeyPath, "AA00BB11CC22DD33EE44FF55", stored));
    EXPECT_EQ("0123456789", stored);
}

TEST_F(WEPPlusKeyStoreTest, LinkKeySizeNegotiation) {
    ASSERT_NE(0, method.SetLinkKey(&adapter, "0123456789"));
    char buffer[32];
    std::memset(buffer, 'x', sizeof(buffer));
    std::uint32_t size = 10;
    EXPECT_EQ(0, method.GetLinkKey(&adapter, buffer, size));
    EXPECT_EQ(11u, size);
    EXPECT_EQ('x', buffer[0]); // nothing written

    size = 11;
    EXPECT_NE(0, method.GetLinkKey(&adapter, buffer, size));
    EXPECT_EQ(11u, size);
    EXPECT_STREQ("0123456789", buffer);
    EXPECT_EQ('x', buffer[11]);

    std::memset(buffer, 'x', sizeof(buffer));
    size = 20;
    EXPECT_NE(0, method.GetLinkKey(&adapter, buffer, size));
    EXPECT_EQ(11u, size);
    EXPECT_EQ('\0', buffer[19]); // the whole given size is cleared first
    EXPECT_EQ('x', buffer[20]);
}

TEST_F(WEPPlusKeyStoreTest, MissingLinkKeyReportsSizeZero) {
    std::uint32_t size = 32;
    char buffer[32];
    EXPECT_EQ(0, method.GetLinkKey(&adapter, buffer, size));
    EXPECT_EQ(0u, size);
}

TEST_F(WEPPlusKeyStoreTest, AddressFailuresFailTheLinkKeyOperations) {
    method.SetPairing(1);
    adapter.peerOk = false;
    EXPECT_EQ(0, method.SetLinkKey(&adapter, "abc"));
    EXPECT_EQ(1, method.GetPairing()); // unchanged
    method.SetPairing(0);
    std::uint32_t size = 32;
    char buffer[32];
    EXPECT_EQ(0, method.GetLinkKey(&adapter, buffer, size));
    EXPECT_EQ(32u, size);
    adapter.peerOk = true;
    adapter.addressOk = false;
    EXPECT_EQ(0, method.GetLinkKey(&adapter, buffer, size));
    EXPECT_EQ(2, adapter.peerCalls); // peer not asked once the own address failed
}

TEST_F(WEPPlusKeyStoreTest, StoreFailureStartsPairing) {
    method.SetWepPlusKeyPath("NO_SUCH_ROOT\\Key");
    EXPECT_EQ(0, method.SetLinkKey(&adapter, "abc"));
    EXPECT_EQ(1, method.GetPairing());
}

TEST_F(WEPPlusKeyStoreTest, PairingBlocksReadsButNotWrites) {
    const unsigned char key[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    ASSERT_NE(0, method.SetLinkKey(&adapter, "link"));
    method.SetPairing(1);
    adapter.addressCalls = adapter.peerCalls = 0;

    char text[16];
    std::uint32_t size = sizeof(text);
    EXPECT_EQ(0, method.GetLinkKey(&adapter, text, size));
    EXPECT_EQ(16u, size);
    unsigned char bytes[16];
    std::uint32_t byteSize = sizeof(bytes);
    EXPECT_EQ(0, method.GetLastGeneratedKey(&adapter, bytes, byteSize));
    EXPECT_EQ(16u, byteSize);
    EXPECT_EQ(0, adapter.addressCalls);
    EXPECT_EQ(0, adapter.peerCalls);

    EXPECT_NE(0, method.SetLastGeneratedKey(&adapter, key, 104));
    EXPECT_EQ(1, method.GetPairing()); // a generated key does not end pairing
    EXPECT_NE(0, method.SetLinkKey(&adapter, "renewed"));
    EXPECT_EQ(0, method.GetPairing());
    std::string stored;
    ASSERT_EQ(1, RegistryGetString(kKeyPath, "AA00BB11CC22DD33EE44FF55", stored));
    EXPECT_EQ("renewed", stored);
}

TEST_F(WEPPlusKeyStoreTest, GeneratedKeyIsReportedInBits) {
    const unsigned char key[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    ASSERT_NE(0, method.SetLastGeneratedKey(&adapter, key, 107)); // 13 whole bytes
    unsigned char out[32] = {};
    std::uint32_t size = sizeof(out);
    EXPECT_NE(0, method.GetLastGeneratedKey(&adapter, out, size));
    EXPECT_EQ(104u, size);
    EXPECT_EQ(0, std::memcmp(key, out, sizeof(key)));

    // Too small a buffer fails; the size the store reports is still turned into bits.
    unsigned char small[4] = {};
    size = sizeof(small);
    EXPECT_EQ(0, method.GetLastGeneratedKey(&adapter, small, size));
    EXPECT_EQ(104u, size);
}

TEST_F(WEPPlusKeyStoreTest, GeneratedKeyNameInterleavesAddressAndLabel) {
    adapter.address = {{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}};
    adapter.label = "abcdefgh"; // longer than the address: the rest continues alone
    const unsigned char key[2] = {0xC0, 0xDE};
    ASSERT_NE(0, method.SetLastGeneratedKey(&adapter, key, 16));
    unsigned char out[8] = {};
    std::uint32_t size = sizeof(out);
    ASSERT_EQ(1, RegistryGetBinary(kKeyPath, "0A611B622C633D644E655F666768", out, size));
    EXPECT_EQ(2u, size);
    EXPECT_EQ(0xC0, out[0]);

    adapter.label = "AB"; // shorter: the address continues alone
    ASSERT_NE(0, method.SetLastGeneratedKey(&adapter, key, 8));
    size = sizeof(out);
    ASSERT_EQ(1, RegistryGetBinary(kKeyPath, "0A411B422C3D4E5F", out, size));
    EXPECT_EQ(1u, size);
}

TEST_F(WEPPlusKeyStoreTest, EmptyOrNullLabelFailsTheGeneratedKey) {
    const unsigned char key[5] = {1, 2, 3, 4, 5};
    adapter.label = "";
    EXPECT_EQ(0, method.SetLastGeneratedKey(&adapter, key, 40));
    adapter.nullLabel = true;
    EXPECT_EQ(0, method.SetLastGeneratedKey(&adapter, key, 40));
    unsigned char out[8];
    std::uint32_t size = sizeof(out);
    EXPECT_EQ(0, method.GetLastGeneratedKey(&adapter, out, size));
    EXPECT_EQ(8u, size);
    EXPECT_EQ(2, adapter.addressCalls); // only the two stores asked for the address

    adapter.nullLabel = false;
    adapter.label = "L";
    adapter.addressOk = false;
    EXPECT_EQ(0, method.SetLastGeneratedKey(&adapter, key, 40));
    EXPECT_EQ(0, method.GetLastGeneratedKey(&adapter, out, size));
    EXPECT_EQ(8u, size);
}

} // namespace
