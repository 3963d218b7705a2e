// Key material must not outlive its use: after a method object is destroyed or its key is
// replaced, neither the object's own storage nor any heap block the library released holds
// the old key or pass phrase. ReleaseWatch.cpp replaces operator delete to look into every
// block just before it goes back to the system.

#include "airvane/security/WEPSecureMethod.h"
#include "airvane/security/WPASecureMethod.h"

#include "ModuleExports.h"
#include "ReleaseWatch.h"
#include "tests/modules/wpa_stub/WpaStubDouble.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

using airvane::test::CReleaseWatch;
using airvane::test::HoldsPartOf;
using airvane::test::ReleaseWatchActive;

// Storage for one object, so that its bytes can be read after its destructor ran.
template <typename T> class CObjectStorage {
public:
    CObjectStorage() { std::memset(m_bytes, 0, sizeof(m_bytes)); }
    T* Construct() { return new (m_bytes) T(); }
    bool Holds(const std::string& secret) const {
        return HoldsPartOf(m_bytes, sizeof(m_bytes), reinterpret_cast<const unsigned char*>(secret.data()),
                           secret.size());
    }

private:
    alignas(T) unsigned char m_bytes[sizeof(T)];
};

const std::string kWepKey = "\x5A\x11\xC3\x7E\x29\xB4\x66\xD1\x08\x9F\xE2\x4D\x73";
const std::string kPskKey = "\x91\x2C\xE7\x04\xBB\x58\x3F\xA6\x1D\xC0\x75\xEE\x42\x99\x0B\x68"
                            "\xD3\x27\x8A\xF1\x5C\x36\xAD\x10\x64\xCF\x83\x1A\xB7\x4E\xF9\x25";
// Longer than any string kept inside its object, so it lives in a heap block.
const std::string kLongPassPhrase = "correct horse battery staple, kept off the heap";
// Short enough to be kept inside the string object itself.
const std::string kShortPassPhrase = "gr33n-lem0n";

const unsigned char* Bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

std::uint32_t Bits(const std::string& key) {
    return static_cast<std::uint32_t>(key.size() * 8);
}

TEST(KeyWipeTest, DestroyedMethodsLeaveNoKeyInTheirStorage) {
    CObjectStorage<CWLANWEPSecureMethod> wepStorage;
    CWLANWEPSecureMethod* wep = wepStorage.Construct();
    ASSERT_EQ(wep->SetKey(Bytes(kWepKey), Bits(kWepKey)), 1);
    ASSERT_TRUE(wepStorage.Holds(kWepKey)) << "the search must see a live key";
    wep->~CWLANWEPSecureMethod();
    EXPECT_FALSE(wepStorage.Holds(kWepKey));

    CObjectStorage<CWLANWPAPSKSecureMethod> keyStorage;
    CWLANWPAPSKSecureMethod* withKey = keyStorage.Construct();
    ASSERT_EQ(withKey->SetKey(Bytes(kPskKey), Bits(kPskKey)), 1);
    ASSERT_TRUE(keyStorage.Holds(kPskKey));
    withKey->~CWLANWPAPSKSecureMethod();
    EXPECT_FALSE(keyStorage.Holds(kPskKey));

    CObjectStorage<CWLANWPAPSKSecureMethod> phraseStorage;
    CWLANWPAPSKSecureMethod* withPhrase = phraseStorage.Construct();
    ASSERT_EQ(withPhrase->SetPassword(kShortPassPhrase.c_str()), 1);
    ASSERT_TRUE(phraseStorage.Holds(kShortPassPhrase));
    withPhrase->~CWLANWPAPSKSecureMethod();
    EXPECT_FALSE(phraseStorage.Holds(kShortPassPhrase));
}

TEST(KeyWipeTest, ReplacedWpaSecretsAreWipedInPlace) {
    CObjectStorage<CWLANWPAPSKSecureMethod> storage;
    CWLANWPAPSKSecureMethod* method = storage.Construct();

    // A shorter key over a longer one: no byte of the longer one stays behind.
    ASSERT_EQ(method->SetKey(Bytes(kPskKey), Bits(kPskKey)), 1);
    const std::string shortKey(5, '\x01');
    ASSERT_EQ(method->SetKey(Bytes(shortKey), Bits(shortKey)), 1);
    EXPECT_FALSE(storage.Holds(kPskKey.substr(5)));

    // A pass phrase replaces the key, and a key replaces the pass phrase.
    ASSERT_EQ(method->SetKey(Bytes(kPskKey), Bits(kPskKey)), 1);
    ASSERT_EQ(method->SetPassword(kShortPassPhrase.c_str()), 1);
    EXPECT_FALSE(storage.Holds(kPskKey));
    ASSERT_EQ(method->SetKey(Bytes(kPskKey), Bits(kPskKey)), 1);
    EXPECT_FALSE(storage.Holds(kShortPassPhrase));

    // Assignment from a method without secrets.
    ASSERT_EQ(method->SetPassword(kShortPassPhrase.c_str()), 1);
    *method = CWLANWPAPSKSecureMethod();
    EXPECT_FALSE(storage.Holds(kShortPassPhrase));
    method->~CWLANWPAPSKSecureMethod();
}

TEST(KeyWipeTest, ReleasedBlocksNeverHoldAPassPhrase) {
    if (!ReleaseWatchActive()) {
        GTEST_SKIP() << "this executable's operator delete is replaced by another allocator";
    }
    {
        const CReleaseWatch watch(kLongPassPhrase);
        auto* method = new CWLANWPAPSKSecureMethod();
        ASSERT_EQ(method->SetPassword(kLongPassPhrase.c_str()), 1);
        // Replacing the pass phrase with another releases the block that held it.
        ASSERT_EQ(method->SetPassword("another pass phrase, also long enough for the heap"), 1);
        ASSERT_EQ(method->SetPassword(kLongPassPhrase.c_str()), 1);
        std::unique_ptr<IWLANSecureMethod> clone(method->Clone());
        ASSERT_NE(clone, nullptr);
        *method = CWLANWPAPSKSecureMethod();
        delete method;
        clone.reset();
        EXPECT_EQ(watch.LeakingReleases(), 0);
    }
    {
        // A released block that still holds the secret must be seen, or the check above
        // proves nothing.
        const CReleaseWatch watch(kLongPassPhrase);
        { const std::string copy(kLongPassPhrase); }
        EXPECT_GE(watch.LeakingReleases(), 1);
    }
}

TEST(KeyWipeTest, NetworkBlockForTheSupplicantIsWipedAfterUse) {
    if (!ReleaseWatchActive()) {
        GTEST_SKIP() << "this executable's operator delete is replaced by another allocator";
    }
    using namespace wpa_stub_double;
    const auto reset = airvane::test::ModuleExport<ResetFn>(kModuleName, kReset);
    ASSERT_NE(reset, nullptr) << "wpa_stub.dll double not found beside the test executable";
    reset();

    CWLANWPAPSKSecureMethod method;
    ASSERT_EQ(method.SetPassword(kLongPassPhrase.c_str()), 1);
    const CWLANState state;
    {
        const CReleaseWatch watch(kLongPassPhrase);
        ASSERT_EQ(method.WPALoadContext(state, "Office", nullptr), 1);
        EXPECT_EQ(watch.LeakingReleases(), 0);
    }
    method.WPAReleaseContext();

    // A released context stays attached to its method: a second method loads the next one.
    CWLANWPAPSKSecureMethod keyMethod;
    ASSERT_EQ(keyMethod.SetKey(Bytes(kPskKey), Bits(kPskKey)), 1);
    {
        // The key goes to the supplicant as upper-case hexadecimal digits. (The text is
        // made before the watch starts: its own release must not count.)
        const std::string hexKey = "912CE704BB583FA61DC075EE42990B68D3278AF15C36AD1064CF831AB74EF925";
        const CReleaseWatch watch(hexKey);
        ASSERT_EQ(keyMethod.WPALoadContext(state, "Office", nullptr), 1);
        EXPECT_EQ(watch.LeakingReleases(), 0);
    }
    keyMethod.WPAReleaseContext();
    reset();
}

} // namespace
