#include "airvane/Hex.h"
#include "airvane/security/WEPPlusSecureMethod.h"

#include "airvane/platform/internal/FakeClock.h"
#include "airvane/security/WEPPlusSecureMethodState.h"
#include "airvane/system/Registry.h"

#include "FakeWepPlusAdapter.h"
#include "SecurityTestHelpers.h"
#include "tests/modules/wepplus/WepPlusDouble.h"
#include "tests/support/CaseFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

namespace vendor = wepplus_double;
using Method = CWLANWEPPlusSecureMethod;
using airvane::test::stCase;

// Method whose run-time flags a script can read.
class CInspectableWEPPlus : public Method {
public:
    int Keyed() const { return m_keyed; }
    int Indicator() const { return m_indicator; }
};

// The raw key bytes of any WEP method, which the interface only shows up to the key length.
class CRawKey : public CWLANWEPSecureMethod {
public:
    static std::string Of(const CWLANWEPSecureMethod& method) {
        const auto& key = method.*(&CRawKey::m_key);
        return std::string(std::begin(key), std::end(key));
    }
};

template <typename Fn> Fn Vendor(const char* name) {
    return airvane::test::ModuleExport<Fn>(vendor::kModuleName, name);
}

std::uint32_t Number(const std::string& word) {
    return static_cast<std::uint32_t>(std::strtoul(word.c_str(), nullptr, 0));
}

int StateOf(const Method& method) {
    return airvane::test::StateOf(method, &CWLANWEPPlusSecureMethodState::GetWepPlusState);
}

// Every setting and the state of a method in one line, with what GetKey writes into the first
// bytes of a buffer of EE.
std::string Describe(const CWLANWEPSecureMethod& wep) {
    unsigned char out[32];
    std::fill(std::begin(out), std::end(out), 0xEE);
    const int got = wep.GetKey(out);
    std::string text = "uid=" + std::to_string(wep.GetSecureMethodUID()) +
                       " mode=" + std::to_string(wep.GetMode()) +
                       " bits=" + std::to_string(wep.GetKeySizeInBit()) + " get=" + std::to_string(got) +
                       " key=" + airvane::hex::Encode(out, 14);
    const auto* plus = dynamic_cast<const Method*>(&wep);
    if (plus == nullptr) {
        return text;
    }
    const Method& method = *plus;
    return text + " mark=" + std::to_string(method.GetMark()) +
           " pairing=" + std::to_string(method.GetPairing()) + " path=" + method.GetWepPlusKeyPath() +
           " type=" + std::to_string(method.GetPeriodType()) +
           " period=" + std::to_string(method.GetPeriod()) + " state=" + std::to_string(StateOf(method));
}

// The copies of a method (`clone`, `copy` or `assign`d), described; "raw differs" when they do not
// carry all key bytes.
template <typename T> std::string DescribeCopy(const T& original, const std::string& how) {
    std::unique_ptr<IWLANSecureMethod> clone(original.Clone());
    T copied(original);
    T assigned;
    assigned = original;
    const T* copy = how == "copy"     ? &copied
                    : how == "assign" ? &assigned
                                      : dynamic_cast<const T*>(clone.get());
    if (copy == nullptr || typeid(*copy) != typeid(T)) {
        return "no copy of the same class";
    }
    return Describe(*copy) + (CRawKey::Of(*copy) == CRawKey::Of(original) ? "" : " raw differs");
}

// One step of a script of cases/wep.txt, which describes the steps.
class CWepScript {
public:
    explicit CWepScript(bool plain) : m_plain(plain) { airvane::platform::InstallFakeClock(0); }
    ~CWepScript() { airvane::platform::RemoveFakeClock(); }

    std::string Step(const std::vector<std::string>& w) {
        const auto word = [&w](std::size_t i) {
            return i < w.size() && w[i] != "\"\"" ? w[i] : std::string();
        };
        std::string key = airvane::test::BytesOf(word(1)); // zero-padded to the bit count that follows
        key.resize(std::max<std::size_t>(key.size(), (Number(word(2)) + 7) / 8));
        const auto* keyBytes = reinterpret_cast<const unsigned char*>(key.data());
        const std::string& c = w[0];
        if (c == "check" || c == "check-without-adapter") {
            airvane::platform::SetFakeClock(Number(word(1)));
            m_adapter.counter1 = Number(word(1));
            m_adapter.counter2 = Number(word(2));
            m_method.CheckWepPlus(c == "check" ? &m_adapter : nullptr);
            return "calls=" + std::to_string(m_callCount()) + " mark=" + std::to_string(m_method.GetMark()) +
                   " flags=" + std::to_string(m_method.Keyed()) + "/" + std::to_string(m_method.Indicator()) +
                   " state=" + std::to_string(StateOf(m_method));
        }
        CWLANWEPSecureMethod& wep = m_plain ? m_wep : m_method;
        if (c == "describe") {
            return Describe(wep);
        }
        if (c == "clone" || c == "copy" || c == "assign") {
            return m_plain ? DescribeCopy(m_wep, c) : DescribeCopy<Method>(m_method, c);
        }
        if (c == "raw") {
            const std::string raw = CRawKey::Of(wep);
            return airvane::hex::Encode(raw.data(), raw.size());
        }
        if (c == "mode") {
            wep.SetMode(static_cast<CWLANWEPSecureMethod::enMode>(Number(word(1))));
            return std::to_string(wep.GetMode());
        }
        if (c == "state-uid") {
            std::unique_ptr<IWLANSecureMethodState> state(wep.BuildSecureMethodState());
            std::unique_ptr<IWLANSecureMethodState> clone(state != nullptr ? state->Clone() : nullptr);
            return clone == nullptr ? "none"
                                    : std::to_string(state->GetSecureMethodUID()) + "/" +
                                          std::to_string(clone->GetSecureMethodUID());
        }
        if (c == "adapter") {
            const std::string& field = w[1];
            if (field == "address" || field == "indicator") {
                const std::string bytes = airvane::test::BytesOf(word(2));
                auto* target = field == "address" ? m_adapter.address.data() : m_adapter.indicator.data();
                std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), field == "address" ? 6 : 4),
                            target);
            } else if (field == "label") {
                m_adapter.label = word(2);
                m_adapter.nullLabel = word(2) == "-";
            } else {
                (field == "address-ok"     ? m_adapter.addressOk
                 : field == "peer-ok"      ? m_adapter.peerOk
                 : field == "indicator-ok" ? m_adapter.indicatorOk
                                           : m_adapter.countersOk) = word(2) == "1";
            }
            return {};
        }
        if (c == "adapter-calls") {
            const auto& a = m_adapter;
            return "address=" + std::to_string(a.addressCalls) + "/" + std::to_string(a.lastAddressLength) +
                   " peer=" + std::to_string(a.peerCalls) + "/" + std::to_string(a.lastPeerLength) +
                   " indicator=" + std::to_string(a.indicatorCalls) + "/" +
                   std::to_string(a.lastIndicatorLength) +
                   " cleared=" + std::to_string(a.indicatorBufferWasZero) + "/" +
                   std::to_string(a.countersWereZero);
        }
        if (c == "set-link" || c == "set-generated") {
            const int result = c == "set-link"
                                   ? m_method.SetLinkKey(&m_adapter, word(1).c_str())
                                   : m_method.SetLastGeneratedKey(&m_adapter, keyBytes, Number(word(2)));
            return std::to_string(result != 0) + " pairing=" + std::to_string(m_method.GetPairing());
        }
        if (c == "read-link" || c == "read-generated") {
            std::uint32_t size = Number(word(1));
            std::vector<char> buffer(c == "read-link" ? 32 : size, c == "read-link" ? 'x' : '\xEE');
            const int result = c == "read-link"
                                   ? m_method.GetLinkKey(&m_adapter, buffer.data(), size)
                                   : m_method.GetLastGeneratedKey(
                                         &m_adapter, reinterpret_cast<unsigned char*>(buffer.data()), size);
            std::string bytes(buffer.begin(), buffer.begin() + (c == "read-link" ? 24 : buffer.size()));
            if (c == "read-link") {
                std::replace(bytes.begin(), bytes.end(), '\0', '.');
            } else {
                bytes = airvane::hex::Encode(bytes.data(), bytes.size());
            }
            return std::to_string(result != 0) + " " + std::to_string(size) + " " + bytes;
        }
        if (c == "stored" || c == "stored-binary") {
            std::string text;
            unsigned char out[8] = {};
            std::uint32_t size = sizeof(out);
            const std::string path = m_method.GetWepPlusKeyPath();
            return c == "stored"
                       ? (RegistryGetString(path.c_str(), w[1].c_str(), text) == 1 ? text : "missing")
                   : RegistryGetBinary(path.c_str(), w[1].c_str(), out, size) == 1
                       ? airvane::hex::Encode(out, size)
                       : "missing";
        }
        if (c == "last-call") {
            return std::string(m_lastMethod() == &m_method ? "method" : "other") +
                   (m_lastAdapter() == &m_adapter ? " adapter" : " other");
        }
        const std::uint32_t n = Number(word(c == "period" ? 2 : 1));
        if (c == "period") {
            m_method.SetPeriodType(word(1) == "time" ? Method::INTERVAL_TIME : Method::INTERVAL_COUNTER, n);
            return std::to_string(m_method.GetPeriod());
        }
        if (c == "result") {
            m_setResult(static_cast<int>(n));
        } else if (c == "pairing") {
            m_method.SetPairing(static_cast<int>(n));
        } else if (c == "path") {
            m_method.SetWepPlusKeyPath(word(1).c_str());
        } else if (c == "reset") {
            m_method.resetWepPlus();
        }
        return c == "key" ? std::to_string(wep.SetKey(word(1) == "-" ? nullptr : keyBytes, Number(word(2))))
               : c == "get-key-null" ? std::to_string(wep.GetKey(nullptr))
               : c == "elapsed"      ? std::to_string(Method::ElapsedSince(n, Number(word(2))))
               : c == "is-adapter"
                   ? std::to_string(Method::IsWepPlusAdapter(w[1] == "-" ? nullptr : word(1).c_str()))
                   : std::string();
    }

    const vendor::SetResultFn m_setResult = Vendor<vendor::SetResultFn>(vendor::kSetResult);
    const vendor::CallCountFn m_callCount = Vendor<vendor::CallCountFn>(vendor::kCallCount);
    const vendor::LastPointerFn m_lastMethod = Vendor<vendor::LastPointerFn>(vendor::kLastMethod);
    const vendor::LastPointerFn m_lastAdapter = Vendor<vendor::LastPointerFn>(vendor::kLastAdapter);
    airvane::test::CFakeWepPlusAdapter m_adapter;
    const bool m_plain; // the script drives a plain WEP method, not the WEP Plus one
    CWLANWEPSecureMethod m_wep;
    CInspectableWEPPlus m_method;
};

TEST(WEPSecureMethod, Scripts) {
    const auto reset = Vendor<vendor::ResetFn>(vendor::kReset);
    ASSERT_NE(nullptr, reset) << "WepPlusInventel.dll double not found beside the test executable";
    for (const stCase& c : airvane::test::ReadCases(AIRVANE_SECURITY_CASES "/wep.txt")) {
        SCOPED_TRACE(c.name);
        reset();
        const airvane::test::CScopedRegistry registry;
        CWepScript script(c.Get("method") == "wep");
        ASSERT_TRUE(script.m_setResult && script.m_callCount && script.m_lastMethod && script.m_lastAdapter);
        airvane::test::RunSteps(c, [&script](const std::vector<std::string>& w) { return script.Step(w); });
    }
}

} // namespace
