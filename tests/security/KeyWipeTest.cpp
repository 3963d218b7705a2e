// Key material must not outlive its use: after a method object is destroyed or its key is
// replaced, neither the object's own storage nor any heap block the library released holds
// the old key or pass phrase. ReleaseWatch.cpp replaces operator delete to look into every
// block just before it goes back to the system.

#include "airvane/security/WEPPlusSecureMethod.h"
#include "airvane/security/WEPSecureMethod.h"
#include "airvane/security/WLANProfil.h"
#include "airvane/security/WPAPSKSecureMethod.h"

#include "FakeWepPlusAdapter.h"
#include "SecurityTestHelpers.h"
#include "tests/modules/wpa_stub/WpaStubDouble.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using airvane::test::ReleasesHolding;

// Storage for one object built in place, so that its bytes can be read after its destructor ran.
template <typename T> struct stObjectStorage {
    alignas(T) unsigned char bytes[sizeof(T)] = {};
    T* const method = new (bytes) T();
    bool Holds(const std::string& s) const { return airvane::test::HoldsPartOf(bytes, sizeof(bytes), s); }
};

const std::string kWepKey = "\x5A\x11\xC3\x7E\x29\xB4\x66\xD1\x08\x9F\xE2\x4D\x73";
const std::string kPskKey = "\x91\x2C\xE7\x04\xBB\x58\x3F\xA6\x1D\xC0\x75\xEE\x42\x99\x0B\x68"
                            "\xD3\x27\x8A\xF1\x5C\x36\xAD\x10\x64\xCF\x83\x1A\xB7\x4E\xF9\x25";
// Longer than any string kept inside its object, so it lives in a heap block.
const std::string kLongPassPhrase = "correct horse battery staple, kept off the heap";
// Short enough to be kept inside the string object itself.
const std::string kShortPassPhrase = "gr33n-lem0n";

template <typename T> int SetKey(T& method, const std::string& key) {
    return method.SetKey(reinterpret_cast<const unsigned char*>(key.data()),
                         static_cast<std::uint32_t>(key.size() * 8));
}

// Gives a method built in place its secret with `set`, then destroys it.
template <typename T, typename Set> void ExpectDestructionWipes(const std::string& secret, Set set) {
    stObjectStorage<T> storage;
    ASSERT_EQ(1, set(*storage.method));
    ASSERT_TRUE(storage.Holds(secret)) << "the search must see a live secret";
    storage.method->~T();
    EXPECT_FALSE(storage.Holds(secret));
}

TEST(KeyWipeTest, MethodStorageKeepsNoStaleSecret) {
    // Destruction wipes every kind of secret.
    ExpectDestructionWipes<CWLANWEPSecureMethod>(kWepKey, [](auto& m) { return SetKey(m, kWepKey); });
    ExpectDestructionWipes<CWLANWPAPSKSecureMethod>(kPskKey, [](auto& m) { return SetKey(m, kPskKey); });
    ExpectDestructionWipes<CWLANWPAPSKSecureMethod>(
        kShortPassPhrase, [](auto& m) { return m.SetPassword(kShortPassPhrase.c_str()); });

    // Replaced WPA secrets are wiped in place.
    stObjectStorage<CWLANWPAPSKSecureMethod> storage;
    CWLANWPAPSKSecureMethod* const method = storage.method;

    // A shorter key over a longer one: no byte of the longer one stays behind.
    ASSERT_EQ(SetKey(*method, kPskKey), 1);
    ASSERT_EQ(SetKey(*method, std::string(5, '\x01')), 1);
    EXPECT_FALSE(storage.Holds(kPskKey.substr(5)));

    // A pass phrase replaces the key, and a key replaces the pass phrase.
    ASSERT_EQ(SetKey(*method, kPskKey), 1);
    ASSERT_EQ(method->SetPassword(kShortPassPhrase.c_str()), 1);
    EXPECT_FALSE(storage.Holds(kPskKey));
    ASSERT_EQ(SetKey(*method, kPskKey), 1);
    EXPECT_FALSE(storage.Holds(kShortPassPhrase));

    // Assignment from a method without secrets.
    ASSERT_EQ(method->SetPassword(kShortPassPhrase.c_str()), 1);
    *method = CWLANWPAPSKSecureMethod();
    EXPECT_FALSE(storage.Holds(kShortPassPhrase));
    method->~CWLANWPAPSKSecureMethod();
}

TEST(KeyWipeTest, ReleasedBlocksNeverHoldASecret) {
    if (!airvane::test::ReleaseWatchActive()) {
        GTEST_SKIP() << "this executable's operator delete is replaced by another allocator";
    }
    // A released block that still holds the secret must be seen, or the checks below prove nothing.
    EXPECT_GE(ReleasesHolding(kLongPassPhrase, [] { const std::string copy(kLongPassPhrase); }), 1);
    EXPECT_EQ(0, ReleasesHolding(kLongPassPhrase, [] {
                  auto method = std::make_unique<CWLANWPAPSKSecureMethod>();
                  ASSERT_EQ(method->SetPassword(kLongPassPhrase.c_str()), 1);
                  // Replacing the pass phrase with another releases the block that held it.
                  ASSERT_EQ(method->SetPassword("another pass phrase, also long enough for the heap"), 1);
                  ASSERT_EQ(method->SetPassword(kLongPassPhrase.c_str()), 1);
                  std::unique_ptr<IWLANSecureMethod> clone(method->Clone());
                  ASSERT_NE(clone, nullptr);
                  *method = CWLANWPAPSKSecureMethod();
              }));

    // The network block handed to the supplicant is wiped after use. A released context stays
    // attached to its method, so each load uses a method of its own. The key goes to the
    // supplicant as upper-case hexadecimal digits.
    using namespace wpa_stub_double;
    const auto reset = airvane::test::ModuleExport<ResetFn>(kModuleName, kReset);
    ASSERT_NE(reset, nullptr) << "wpa_stub.dll double not found beside the test executable";
    reset();
    const std::string hexKey = "912CE704BB583FA61DC075EE42990B68D3278AF15C36AD1064CF831AB74EF925";
    // An SSID naming the key's field several times makes the block grow while it is built.
    for (const char* ssid : {"Office", "a%PSK%b%PSK%c"}) {
        CWLANWPAPSKSecureMethod phraseMethod;
        CWLANWPAPSKSecureMethod keyMethod;
        ASSERT_EQ(phraseMethod.SetPassword(kLongPassPhrase.c_str()), 1);
        ASSERT_EQ(SetKey(keyMethod, kPskKey), 1);
        for (auto* method : {&phraseMethod, &keyMethod}) {
            const std::string& secret = method == &keyMethod ? hexKey : kLongPassPhrase;
            EXPECT_EQ(0, ReleasesHolding(secret,
                                         [method, ssid] {
                                             ASSERT_EQ(method->WPALoadContext(CWLANState(), ssid, nullptr),
                                                       1);
                                         }))
                << ssid;
            method->WPAReleaseContext();
        }
    }
    reset();

    // A link key read back from the registry.
    airvane::test::CScopedRegistry registry;
    airvane::test::CFakeWepPlusAdapter adapter;
    CWLANWEPPlusSecureMethod wepPlus;
    wepPlus.SetWepPlusKeyPath("HKEY_CURRENT_USER\\Software\\KeyWipe");
    ASSERT_EQ(wepPlus.SetLinkKey(&adapter, kLongPassPhrase.c_str()), 1);
    EXPECT_EQ(0, ReleasesHolding(kLongPassPhrase, [&] {
                  char buffer[64] = {};
                  std::uint32_t size = sizeof(buffer);
                  ASSERT_EQ(wepPlus.GetLinkKey(&adapter, buffer, size), 1);
                  ASSERT_EQ(kLongPassPhrase, buffer);
              }));
}

// Not key material, but this executable is the one that can make the library's allocations fail.
TEST(WLANProfilOutOfMemory, AnAssignmentThatCannotCloneLeavesTheTargetAsItWas) {
    if (!airvane::test::ReleaseWatchActive()) {
        GTEST_SKIP() << "another allocator took the place of this executable's";
    }
    CWLANProfil source("Source", WLAN_SECURE_WEP);
    ASSERT_NE(source.GetSecureMethodIF(), nullptr);
    CWLANProfil target("Target", WLAN_SECURE_WEP);
    auto* const wep = static_cast<CWLANWEPSecureMethod*>(target.GetSecureMethodIF());
    ASSERT_EQ(SetKey(*wep, kWepKey), 1);
    airvane::test::FailNextNothrowNew(); // the clone of the source's method
    target = source;
    EXPECT_STREQ(target.GetSSID(), "Target");
    EXPECT_EQ(target.GetSecureMethodIF(), wep);
    EXPECT_EQ(wep->GetKeySizeInBit(), 104u);
}

} // namespace
