#include "airvane/security/WEPPlusSecureMethod.h"
#include "airvane/Hex.h"

#include "airvane/platform/internal/FakeClock.h"
#include "airvane/security/WEPPlusSecureMethodState.h"
#include "airvane/system/Registry.h"

#include "FakeWepPlusAdapter.h"
#include "SecurityTestHelpers.h"
#include "tests/modules/wepplus/WepPlusDouble.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace vendor = wepplus_double;
using Method = CWLANWEPPlusSecureMethod;

constexpr const char kKeyPath[] = "HKEY_CURRENT_USER\\Software\\AirvaneTests\\WepPlus";
constexpr const char kLinkKeyName[] = "AA00BB11CC22DD33EE44FF55"; // own and peer address interleaved
const unsigned char kKey13[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};

int StateOf(const Method& method) {
    return airvane::test::StateOf(method, &CWLANWEPPlusSecureMethodState::GetWepPlusState);
}

// Method whose run-time flags a test can read.
class CInspectableWEPPlus : public Method {
public:
    int Keyed() const { return m_keyed; }
    int Indicator() const { return m_indicator; }
};

template <typename Fn> Fn Vendor(const char* name) {
    return airvane::test::ModuleExport<Fn>(vendor::kModuleName, name);
}

class WEPPlusSecureMethodTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(reset && setResult && callCount && lastMethod && lastAdapter)
            << "WepPlusInventel.dll double not found beside the test executable";
        reset();
        airvane::platform::InstallFakeClock(0);
    }
    void TearDown() override { airvane::platform::RemoveFakeClock(); }

    // Checks at clock tick `tick` with counters `tick` and `counter2`; returns the routine's
    // call count, the mark, the keyed and indicator flags and the state.
    std::string CheckAt(CInspectableWEPPlus& method, std::uint32_t tick, std::uint32_t counter2 = 0,
                        bool withAdapter = true) {
        airvane::platform::SetFakeClock(tick);
        adapter.counter1 = tick;
        adapter.counter2 = counter2;
        method.CheckWepPlus(withAdapter ? &adapter : nullptr);
        return "calls=" + std::to_string(callCount()) + " mark=" + std::to_string(method.GetMark()) +
               " flags=" + std::to_string(method.Keyed()) + "/" + std::to_string(method.Indicator()) +
               " state=" + std::to_string(StateOf(method));
    }

    const vendor::ResetFn reset = Vendor<vendor::ResetFn>(vendor::kReset);
    const vendor::SetResultFn setResult = Vendor<vendor::SetResultFn>(vendor::kSetResult);
    const vendor::CallCountFn callCount = Vendor<vendor::CallCountFn>(vendor::kCallCount);
    const vendor::LastPointerFn lastMethod = Vendor<vendor::LastPointerFn>(vendor::kLastMethod);
    const vendor::LastPointerFn lastAdapter = Vendor<vendor::LastPointerFn>(vendor::kLastAdapter);
    airvane::test::CFakeWepPlusAdapter adapter;
};

// Every setting and the state of a method, in one line.
std::string Describe(const Method& method) {
    return "uid=" + std::to_string(method.GetSecureMethodUID()) +
           " bits=" + std::to_string(method.GetKeySizeInBit()) + " mode=" + std::to_string(method.GetMode()) +
           " mark=" + std::to_string(method.GetMark()) + " pairing=" + std::to_string(method.GetPairing()) +
           " path=" + method.GetWepPlusKeyPath() + " type=" + std::to_string(method.GetPeriodType()) +
           " period=" + std::to_string(method.GetPeriod()) + " state=" + std::to_string(StateOf(method));
}

TEST_F(WEPPlusSecureMethodTest, DefaultsAndPeriodFloor) {
    Method method;
    EXPECT_EQ("uid=2 bits=0 mode=1 mark=0 pairing=0 path= type=1 period=10000 state=0", Describe(method));
    method.SetPeriodType(Method::INTERVAL_TIME, 500); // raised to one second
    EXPECT_EQ(1000u, method.GetPeriod());
    method.SetPeriodType(Method::INTERVAL_COUNTER, 20000);
    EXPECT_EQ(20000u, method.GetPeriod());
}

TEST_F(WEPPlusSecureMethodTest, RecognisesDevicesByHardwareIdentifier) {
    for (const char* id : {"ROOT\\USB\\VID_03EB&PID_7605\\5&1A", "xPCMCIA\\ATMEL-AT76C502AR_Dy",
                           "PCMCIA\\Atmel-AT76C502AR_E-1234", "usb\\vid_0967&pid_0204"}) {
        EXPECT_EQ(1, Method::IsWepPlusAdapter(id)) << id;
    }
    for (const char* id : {"USB\\VID_03EB&PID_7606", "PCMCIA\\ATMEL-AT76C502AR_F", ""}) {
        EXPECT_EQ(0, Method::IsWepPlusAdapter(id)) << id;
    }
    EXPECT_EQ(0, Method::IsWepPlusAdapter(nullptr));
}

TEST_F(WEPPlusSecureMethodTest, CopiesCarryEveryField) {
    Method method;
    ASSERT_EQ(1, method.SetKey(kKey13, 40));
    method.SetWepPlusKeyPath("Path");
    method.SetPairing(1);
    method.SetPeriodType(Method::INTERVAL_TIME, 4000);
    airvane::platform::SetFakeClock(777);
    setResult(1);
    method.CheckWepPlus(&adapter);
    const std::string expected =
        "uid=2 bits=40 mode=1 mark=777 pairing=1 path=Path type=0 period=4000 state=1";
    EXPECT_EQ(expected, Describe(method));
    std::unique_ptr<IWLANSecureMethod> clone(method.Clone());
    ASSERT_NE(nullptr, clone);
    ASSERT_EQ(WLAN_SECURE_WEPPLUS, clone->GetSecureMethodUID());
    EXPECT_EQ(expected, Describe(*static_cast<Method*>(clone.get())));
    Method assigned;
    assigned = method;
    EXPECT_EQ(expected, Describe(assigned));
}

TEST_F(WEPPlusSecureMethodTest, StatesFollowTheRenewalResultsTheIndicatorAndReset) {
    CInspectableWEPPlus method;
    method.SetPairing(1);
    method.SetWepPlusKeyPath("Path");
    setResult(1);
    EXPECT_EQ("calls=0 mark=0 flags=0/0 state=0", CheckAt(method, 0, 0, false)); // no adapter: ignored
    setResult(0);
    EXPECT_EQ("calls=1 mark=0 flags=0/0 state=0", CheckAt(method, 0)); // indicator all zero
    adapter.indicator = {{0, 0, 0, 1}};
    adapter.indicatorOk = false; // a failed read does not count
    EXPECT_EQ("calls=2 mark=0 flags=0/0 state=0", CheckAt(method, 0));
    adapter.indicatorOk = true;
    EXPECT_EQ("calls=3 mark=0 flags=0/1 state=2", CheckAt(method, 0));
    adapter.indicator = {{0, 0, 7, 0}}; // read again on every unkeyed check
    EXPECT_EQ("calls=4 mark=0 flags=0/1 state=2", CheckAt(method, 0));
    EXPECT_EQ(static_cast<const void*>(&method), lastMethod());
    EXPECT_EQ(static_cast<const void*>(&adapter), lastAdapter());
    EXPECT_EQ(4u, adapter.lastIndicatorLength);
    EXPECT_TRUE(adapter.indicatorBufferWasZero);
    setResult(1); // not keyed yet: tries again; once keyed the indicator no longer counts
    EXPECT_EQ("calls=5 mark=0 flags=1/0 state=1", CheckAt(method, 0));
    method.resetWepPlus(); // pairing and key path survive
    EXPECT_EQ("uid=2 bits=0 mode=1 mark=0 pairing=1 path=Path type=1 period=10000 state=0", Describe(method));
}

TEST_F(WEPPlusSecureMethodTest, TimeScheduleRunsOnlyAfterThePeriodAcrossTheWrap) {
    EXPECT_EQ(31u, Method::ElapsedSince(0xFFFFFFF0u, 0x10u));
    EXPECT_EQ(0u, Method::ElapsedSince(5000, 5000));
    EXPECT_EQ(1001u, Method::ElapsedSince(5000, 6001));
    CInspectableWEPPlus method;
    method.SetPeriodType(Method::INTERVAL_TIME, 1000);
    setResult(1);
    EXPECT_EQ("calls=1 mark=5000 flags=1/0 state=1", CheckAt(method, 5000));
    const int indicatorReads = adapter.indicatorCalls;
    setResult(0); // a renewal's result does not unkey the method
    EXPECT_EQ("calls=1 mark=5000 flags=1/0 state=1", CheckAt(method, 6000));
    EXPECT_EQ("calls=2 mark=6001 flags=1/0 state=1", CheckAt(method, 6001));
    EXPECT_EQ(indicatorReads, adapter.indicatorCalls); // keyed: indicator not refreshed
    // Elapsed after the wrap is 15 + tick: 985 gives exactly the period, 986 exceeds it.
    EXPECT_EQ("calls=3 mark=4294967280 flags=1/0 state=1", CheckAt(method, 0xFFFFFFF0u));
    EXPECT_EQ("calls=3 mark=4294967280 flags=1/0 state=1", CheckAt(method, 0x10));
    EXPECT_EQ("calls=3 mark=4294967280 flags=1/0 state=1", CheckAt(method, 985));
    EXPECT_EQ("calls=4 mark=986 flags=1/0 state=1", CheckAt(method, 986));
}

TEST_F(WEPPlusSecureMethodTest, CounterScheduleUsesTheCounterSum) {
    CInspectableWEPPlus method;
    method.SetPeriodType(Method::INTERVAL_COUNTER, 1000);
    setResult(1);
    adapter.countersOk = false; // unreadable counters keep the old mark when keying
    EXPECT_EQ("calls=1 mark=0 flags=1/0 state=1", CheckAt(method, 500));
    adapter.countersOk = true;
    EXPECT_EQ("calls=2 mark=1999 flags=1/0 state=1", CheckAt(method, 0xFFFFFFFFu, 2000)); // the sum wraps
    EXPECT_TRUE(adapter.countersWereZero);
    EXPECT_EQ("calls=2 mark=1999 flags=1/0 state=1", CheckAt(method, 2000, 999)); // elapsed 1000: not yet
    EXPECT_EQ("calls=3 mark=3000 flags=1/0 state=1", CheckAt(method, 2000, 1000));
    adapter.countersOk = false; // and never look elapsed
    EXPECT_EQ("calls=3 mark=3000 flags=1/0 state=1", CheckAt(method, 9000));
}

// Key store tests use a private registry store.
class WEPPlusKeyStoreTest : public WEPPlusSecureMethodTest {
protected:
    void SetUp() override {
        WEPPlusSecureMethodTest::SetUp();
        method.SetWepPlusKeyPath(kKeyPath);
    }
    airvane::test::CScopedRegistry registry;
    Method method;
};

// Reads the link key with `size` given, into a buffer of 'x'; returns the result, the size and
// the first 24 buffer bytes (terminators shown as '.').
std::string ReadLinkKey(Method& method, IWepPlusAdapter& adapter, std::uint32_t size) {
    char buffer[32];
    std::memset(buffer, 'x', sizeof(buffer));
    const int result = method.GetLinkKey(&adapter, buffer, size);
    std::string bytes(buffer, 24);
    std::replace(bytes.begin(), bytes.end(), '\0', '.');
    return std::to_string(result != 0) + " " + std::to_string(size) + " " + bytes;
}

TEST_F(WEPPlusKeyStoreTest, LinkKeyIsStoredUnderInterleavedAddressesAndReadBackBySize) {
    EXPECT_EQ("0 0 xxxxxxxxxxxxxxxxxxxxxxxx", ReadLinkKey(method, adapter, 32)); // missing
    method.SetPairing(1);
    ASSERT_NE(0, method.SetLinkKey(&adapter, "0123456789"));
    EXPECT_EQ(0, method.GetPairing());
    EXPECT_EQ(6u, adapter.lastAddressLength);
    EXPECT_EQ(6u, adapter.lastPeerLength);
    std::string stored;
    ASSERT_EQ(1, RegistryGetString(kKeyPath, kLinkKeyName, stored));
    EXPECT_EQ("0123456789", stored);
    EXPECT_EQ("0 11 xxxxxxxxxxxxxxxxxxxxxxxx",
              ReadLinkKey(method, adapter, 10)); // too small: the size needed
    EXPECT_EQ("1 11 0123456789.xxxxxxxxxxxxx", ReadLinkKey(method, adapter, 11));
    EXPECT_EQ("1 11 0123456789..........xxxx", ReadLinkKey(method, adapter, 20)); // the given size is cleared
}

// Reads the generated key into a heap buffer of exactly `size` bytes of 0xEE; returns the
// result, the size reported and the buffer in hex.
std::string ReadGeneratedKey(Method& method, IWepPlusAdapter& adapter, std::uint32_t size) {
    std::vector<unsigned char> buffer(size, 0xEE);
    const int result = method.GetLastGeneratedKey(&adapter, buffer.data(), size);
    return std::to_string(result != 0) + " " + std::to_string(size) + " " +
           airvane::hex::Encode(buffer.data(), buffer.size());
}

TEST_F(WEPPlusKeyStoreTest, AddressAndStoreFailuresFailTheLinkKeyOperations) {
    method.SetPairing(1);
    adapter.peerOk = false;
    EXPECT_EQ(0, method.SetLinkKey(&adapter, "abc"));
    EXPECT_EQ(1, method.GetPairing()); // unchanged
    method.SetPairing(0);
    EXPECT_EQ("0 32 xxxxxxxxxxxxxxxxxxxxxxxx", ReadLinkKey(method, adapter, 32));
    adapter.peerOk = true;
    adapter.addressOk = false;
    EXPECT_EQ("0 32 xxxxxxxxxxxxxxxxxxxxxxxx", ReadLinkKey(method, adapter, 32));
    EXPECT_EQ(2, adapter.peerCalls); // peer not asked once the own address failed

    adapter.addressOk = true; // a store that cannot be written starts pairing
    method.SetWepPlusKeyPath("NO_SUCH_ROOT\\Key");
    EXPECT_EQ(0, method.SetLinkKey(&adapter, "abc"));
    EXPECT_EQ(1, method.GetPairing());
}

TEST_F(WEPPlusKeyStoreTest, PairingBlocksReadsButNotWrites) {
    ASSERT_NE(0, method.SetLinkKey(&adapter, "link"));
    method.SetPairing(1);
    adapter.addressCalls = adapter.peerCalls = 0;
    EXPECT_EQ("0 16 xxxxxxxxxxxxxxxxxxxxxxxx", ReadLinkKey(method, adapter, 16));
    EXPECT_EQ("0 2 EEEE", ReadGeneratedKey(method, adapter, 2));
    EXPECT_EQ(0, adapter.addressCalls + adapter.peerCalls);

    EXPECT_NE(0, method.SetLastGeneratedKey(&adapter, kKey13, 104));
    EXPECT_EQ(1, method.GetPairing()); // a generated key does not end pairing
    EXPECT_NE(0, method.SetLinkKey(&adapter, "renewed"));
    EXPECT_EQ(0, method.GetPairing());
    std::string stored;
    ASSERT_EQ(1, RegistryGetString(kKeyPath, kLinkKeyName, stored));
    EXPECT_EQ("renewed", stored);
}

TEST_F(WEPPlusKeyStoreTest, GeneratedKeyIsStoredUnderAddressAndLabelAndReportedInBits) {
    ASSERT_NE(0, method.SetLastGeneratedKey(&adapter, kKey13, 107)); // 13 whole bytes
    EXPECT_EQ("1 104 0102030405060708090A0B0C0DEE", ReadGeneratedKey(method, adapter, 14));
    // Too small a buffer fails; the size the store reports is still turned into bits.
    EXPECT_EQ("0 104 EEEEEEEE", ReadGeneratedKey(method, adapter, 4));

    // The value name interleaves address and label; the longer one continues alone.
    adapter.address = {{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}};
    const unsigned char key[2] = {0xC0, 0xDE};
    const struct {
        const char* label;
        std::uint32_t bits;
        const char* name;
    } cases[] = {{"abcdefgh", 16, "0A611B622C633D644E655F666768"}, {"AB", 8, "0A411B422C3D4E5F"}};
    for (const auto& c : cases) {
        adapter.label = c.label;
        ASSERT_NE(0, method.SetLastGeneratedKey(&adapter, key, c.bits));
        unsigned char out[8] = {};
        std::uint32_t size = sizeof(out);
        ASSERT_EQ(1, RegistryGetBinary(kKeyPath, c.name, out, size)) << c.name;
        EXPECT_EQ(c.bits / 8, size);
        EXPECT_EQ(0xC0, out[0]);
    }
}

TEST_F(WEPPlusKeyStoreTest, EmptyOrNullLabelOrAddressFailureFailsTheGeneratedKey) {
    adapter.label = "";
    EXPECT_EQ(0, method.SetLastGeneratedKey(&adapter, kKey13, 40));
    adapter.nullLabel = true;
    EXPECT_EQ(0, method.SetLastGeneratedKey(&adapter, kKey13, 40));
    EXPECT_EQ("0 8 EEEEEEEEEEEEEEEE", ReadGeneratedKey(method, adapter, 8));
    EXPECT_EQ(2, adapter.addressCalls); // only the two stores asked for the address
    adapter.nullLabel = false;
    adapter.label = "L";
    adapter.addressOk = false;
    EXPECT_EQ(0, method.SetLastGeneratedKey(&adapter, kKey13, 40));
    EXPECT_EQ("0 8 EEEEEEEEEEEEEEEE", ReadGeneratedKey(method, adapter, 8));
}

} // namespace
