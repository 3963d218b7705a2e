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
#include <memory>
#include <string>
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

template <typename Fn> Fn Vendor(const char* name) {
    return airvane::test::ModuleExport<Fn>(vendor::kModuleName, name);
}

std::uint32_t Number(const std::string& word) {
    return static_cast<std::uint32_t>(std::strtoul(word.c_str(), nullptr, 0));
}

int StateOf(const Method& method) {
    return airvane::test::StateOf(method, &CWLANWEPPlusSecureMethodState::GetWepPlusState);
}

// Every setting and the state of a method, in one line.
std::string Describe(const Method& method) {
    return "uid=" + std::to_string(method.GetSecureMethodUID()) +
           " bits=" + std::to_string(method.GetKeySizeInBit()) + " mode=" + std::to_string(method.GetMode()) +
           " mark=" + std::to_string(method.GetMark()) + " pairing=" + std::to_string(method.GetPairing()) +
           " path=" + method.GetWepPlusKeyPath() + " type=" + std::to_string(method.GetPeriodType()) +
           " period=" + std::to_string(method.GetPeriod()) + " state=" + std::to_string(StateOf(method));
}

// One step of a script of cases/wepplus.txt, which describes the steps.
class CWepPlusScript {
public:
    CWepPlusScript() { airvane::platform::InstallFakeClock(0); }
    ~CWepPlusScript() { airvane::platform::RemoveFakeClock(); }

    std::string Step(const std::vector<std::string>& w) {
        const auto word = [&w](std::size_t i) {
            return i < w.size() && w[i] != "\"\"" ? w[i] : std::string();
        };
        const std::string key = airvane::test::BytesOf(word(1));
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
        if (c == "describe" || c == "clone" || c == "assign") {
            std::unique_ptr<IWLANSecureMethod> clone(m_method.Clone());
            Method assigned;
            assigned = m_method;
            const bool isClone = clone != nullptr && clone->GetSecureMethodUID() == WLAN_SECURE_WEPPLUS;
            return c == "describe" ? Describe(m_method)
                   : c == "assign" ? Describe(assigned)
                                   : (isClone ? Describe(*static_cast<Method*>(clone.get())) : "no clone");
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
            std::replace(bytes.begin(), bytes.end(), '\0', '.');
            return std::to_string(result != 0) + " " + std::to_string(size) + " " +
                   (c == "read-link" ? bytes : airvane::hex::Encode(bytes.data(), bytes.size()));
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
        return c == "key"       ? std::to_string(m_method.SetKey(keyBytes, Number(word(2))))
               : c == "elapsed" ? std::to_string(Method::ElapsedSince(n, Number(word(2))))
               : c == "is-adapter"
                   ? std::to_string(Method::IsWepPlusAdapter(w[1] == "-" ? nullptr : word(1).c_str()))
                   : std::string();
    }

    const vendor::SetResultFn m_setResult = Vendor<vendor::SetResultFn>(vendor::kSetResult);
    const vendor::CallCountFn m_callCount = Vendor<vendor::CallCountFn>(vendor::kCallCount);
    const vendor::LastPointerFn m_lastMethod = Vendor<vendor::LastPointerFn>(vendor::kLastMethod);
    const vendor::LastPointerFn m_lastAdapter = Vendor<vendor::LastPointerFn>(vendor::kLastAdapter);
    airvane::test::CFakeWepPlusAdapter m_adapter;
    CInspectableWEPPlus m_method;
};

TEST(WEPPlusSecureMethod, Scripts) {
    const auto reset = Vendor<vendor::ResetFn>(vendor::kReset);
    ASSERT_NE(nullptr, reset) << "WepPlusInventel.dll double not found beside the test executable";
    for (const stCase& c : airvane::test::ReadCases(AIRVANE_SECURITY_CASES "/wepplus.txt")) {
        SCOPED_TRACE(c.name);
        reset();
        const airvane::test::CScopedRegistry registry;
        CWepPlusScript script;
        ASSERT_TRUE(script.m_setResult && script.m_callCount && script.m_lastMethod && script.m_lastAdapter);
        airvane::test::RunSteps(c, [&script](const std::vector<std::string>& w) { return script.Step(w); });
    }
}

} // namespace
