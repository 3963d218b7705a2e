// The simulated world and adapter run by the scripts of cases/ against the test doubles of the
// supplicant and key-renewal modules, and the simulator's own modules through their exported
// entry points, loaded by path from the folder of the command-line host.

#include "plugins/sim/adapter/SimAdapter.h"

#include "airvane/Hex.h"
#include "airvane/manager/Airvane.h"
#include "airvane/platform/Module.h"
#include "airvane/security/WEPPlusSecureMethod.h"
#include "airvane/security/WEPPlusSecureMethodState.h"
#include "airvane/security/WEPSecureMethod.h"
#include "airvane/security/WLANProfil.h"
#include "airvane/security/WPAPSKSecureMethod.h"
#include "airvane/security/WPASecureCapabilities.h"
#include "airvane/security/WPASecureMethodState.h"
#include "airvane/system/Registry.h"
#include "airvane/xml/XMLReader.h"
#include "tests/modules/wepplus/WepPlusDouble.h"
#include "tests/modules/wpa_stub/WpaStubDouble.h"
#include "tests/support/CaseFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace airvane::sim {
namespace {

using test::stCase;

// Records the trace lines an adapter sends.
class CRecordingListener final : public IWLANListener {
public:
    int Trace(const char* line) override {
        lines.emplace_back(line);
        return 1;
    }
    std::vector<std::string> lines;
};

// An export of a module found by name or path; a missing one ends the test rather than the run.
template <typename Fn> Fn Export(const char* module, const char* name) {
    const auto function = reinterpret_cast<Fn>(platform::GetModuleExport(platform::LoadModule(module), name));
    if (function == nullptr) {
        throw std::runtime_error(std::string(module) + " does not export " + name);
    }
    return function;
}

bool ParseWorld(const std::string& text, stSimAdapterConfig& config, std::string& error) {
    stXMLNode* device = XMLParseText(text.c_str(), static_cast<std::uint32_t>(text.size()), nullptr);
    const bool parsed = ParseSimDevice(device, config, error);
    XMLFreeTree(device);
    return parsed;
}

// Every field of a world as one line for the adapter and one a network.
std::string Dump(const stSimAdapterConfig& c) {
    std::ostringstream out;
    out << c.name << " friendly=" << c.friendlyName << " label=" << c.label << " hardware=" << c.hardwareId
        << " address=" << FormatHardwareAddress(c.address) << " present=" << c.present
        << " hotplug=" << c.hotPlug << " ready=" << c.ready << " prepare=" << c.prepareSucceeds
        << " select=" << c.acceptsSelection << " wpa=" << c.wpaSupported << " cipher=" << c.maxCipher
        << " wepplus=" << c.wepPlusSupported << "\n";
    for (const stSimNetwork& n : c.networks) {
        out << n.ssid << " quality=" << n.quality << " security=" << n.security
            << " key=" << test::HexOf(n.key.data(), n.key.size()) << " passphrase=" << n.passphrase
            << " bssid=" << FormatHardwareAddress(n.bssid) << " association=" << n.association
            << " renewal=" << n.acceptsRenewal << "\n";
    }
    return out.str();
}

TEST(SimWorldTest, ReadsWorldsAndExplainsMalformedOnes) {
    for (const stCase& c : test::ReadCases(AIRVANE_SIM_CASES "/world.txt")) {
        SCOPED_TRACE(c.name);
        stSimAdapterConfig config;
        config.name = "untouched";
        std::string error;
        const std::string reason = c.Get("error");
        EXPECT_EQ(ParseWorld(c.Get("device"), config, error), reason.empty()) << error;
        EXPECT_EQ(reason.empty() ? Dump(config) : config.name, reason.empty() ? c.Get("dump") : "untouched");
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    std::vector<std::uint8_t> bytes = {9};
    EXPECT_FALSE(airvane::hex::Decode("", bytes));
    EXPECT_FALSE(airvane::hex::Decode("0g", bytes));
    EXPECT_EQ(bytes, std::vector<std::uint8_t>{9}) << "unchanged on failure";
}

// Connects with a profile of `method` holding `secret`: hex key bytes for wep, wepplus and
// wpakey (a WPA-PSK profile with a raw key), a pass phrase for wpapsk; "open" is a profile
// without a method.
int Connect(CSimAdapter& adapter, const std::vector<std::string>& w, IWLANListener* listener) {
    static const std::vector<std::string> kMethods = {"none", "wep", "wepplus", "wpa", "wpapsk", "wpakey"};
    const std::string method = w.size() > 2 ? w[2] : "open";
    const std::string secret = w.size() > 3 ? w[3] : "";
    const auto index = std::find(kMethods.begin(), kMethods.end(), method) - kMethods.begin();
    const std::string ssid = w[1] == "\"\"" ? "" : w[1];
    CWLANProfil profile =
        method == "open"
            ? CWLANProfil(ssid.c_str())
            : CWLANProfil(ssid.c_str(), static_cast<enWLANSecureMethodUID>(
                                            std::min<std::ptrdiff_t>(index, WLAN_SECURE_WPAPSK)));
    const std::string bytes = test::BytesOf(secret);
    const auto* key = reinterpret_cast<const std::uint8_t*>(bytes.data());
    if (auto* wpa = dynamic_cast<CWLANWPAPSKSecureMethod*>(profile.GetSecureMethodIF());
        wpa && !secret.empty()) {
        index == 5 ? wpa->SetKey(key, 256) : wpa->SetPassword(secret.c_str());
    } else if (auto* wep = dynamic_cast<CWLANWEPSecureMethod*>(profile.GetSecureMethodIF());
               wep && !bytes.empty()) {
        wep->SetKey(key, static_cast<std::uint32_t>(bytes.size() * 8));
    }
    return adapter.Connect(profile, listener);
}

// The state a poll leaves: link status, then the security state object, if any.
std::string Polled(int result, const CWLANState& state) {
    std::string text = std::to_string(result) + " status=" + std::to_string(state.m_status);
    if (const auto* wpa = dynamic_cast<const CWLANWPAGenSecureMethodState*>(state.m_secureState)) {
        text +=
            " wpa=" + std::to_string(wpa->GetSecureMethodUID()) + "/" + std::to_string(wpa->GetWpaState());
    } else if (const auto* plus = dynamic_cast<const CWLANWEPPlusSecureMethodState*>(state.m_secureState)) {
        text += " wepplus=" + std::to_string(plus->GetWepPlusState());
    } else if (state.m_secureState != nullptr) {
        text += " secure=" + std::to_string(state.m_secureState->GetSecureMethodUID());
    }
    return text;
}

// An IWepPlusAdapter of another plug-in: the renewal module must refuse it without touching it.
class CForeignAdapter final : public IWepPlusAdapter {
public:
    int Reserved() override { return 0; }
    int GetAdapterAddress(std::uint8_t*, std::uint32_t*) override { return ++calls, 0; }
    int GetPeerAddress(std::uint8_t*, std::uint32_t*) override { return ++calls, 0; }
    int GetIndicator(std::uint8_t*, std::uint32_t*) override { return ++calls, 0; }
    int GetCounters(std::uint32_t*, std::uint32_t*) override { return ++calls, 0; }
    const char* GetLabel() override { return ++calls, "foreign"; }
    int calls = 0;
};

// The simulator's key-renewal module run on `adapter` (or on a foreign adapter, or with a null
// method or adapter) for a WEP Plus method holding `initial`: its result, the renewals it made,
// and the key the method then holds beside the one stored under HKEY_CURRENT_USER\Test\<value>.
std::string RunRenewal(CSimAdapter& adapter, const std::vector<std::string>& w) {
    const std::string initial = test::BytesOf(w[1]);
    CWLANWEPPlusSecureMethod method;
    method.SetKey(reinterpret_cast<const unsigned char*>(initial.data()),
                  static_cast<std::uint32_t>(initial.size() * 8));
    method.SetWepPlusKeyPath("HKEY_CURRENT_USER\\Test");
    CForeignAdapter foreign;
    const std::string how = w.size() > 3 ? w[3] : "";
    // Counted from here: on Windows the library's own lookup of the module by bare name gets this
    // already loaded module rather than the double, and may renew while connecting.
    const std::uint32_t renewals = adapter.GetRenewalCount();
    const int result = Export<RunWepPlusFn>(AIRVANE_SIM_WEPPLUS_PATH, "RunWepPlus")(
        how == "null-method" ? nullptr : &method, how == "foreign" ? static_cast<IWepPlusAdapter*>(&foreign)
                                                  : how == "null-adapter" ? nullptr
                                                                          : &adapter);
    unsigned char inUse[32] = {};
    unsigned char stored[32] = {};
    std::uint32_t size = sizeof stored;
    const std::string key(reinterpret_cast<char*>(inUse),
                          method.GetKey(inUse) ? method.GetKeySizeInBit() / 8 : 0);
    const bool found = RegistryGetBinary("HKEY_CURRENT_USER\\Test", w[2].c_str(), stored, size) != 0;
    return std::to_string(result) + " renewals+" + std::to_string(adapter.GetRenewalCount() - renewals) +
           " foreign calls=" + std::to_string(foreign.calls) +
           (key == initial ? " initial key" : " fresh key of " + std::to_string(key.size()) + " bytes") +
           (!found                                                      ? ", none stored"
            : key == std::string(reinterpret_cast<char*>(stored), size) ? ", stored"
                                                                        : ", another stored");
}

// A call's result, then what `after` shows once the call has returned.
template <typename After> std::string Then(int result, After after) {
    return std::to_string(result) + " " + after();
}

// One step of a script (cases/adapter.txt describes them), its outcome as text.
std::string Step(CSimAdapter& adapter, CRecordingListener& listener, const std::vector<std::string>& w) {
    using namespace wpa_stub_double;
    const std::string& c = w[0];
    const std::string arg = w.size() > 1 ? w[1] : "";
    std::uint8_t buffer[IWLANAdapter::kAdapterInfoBytes] = {};
    std::uint32_t length = static_cast<std::uint32_t>(std::strtoul(arg.c_str(), nullptr, 10));
    std::uint32_t counters[2] = {};
    CWLANState state;
    IWLANSecureCapabilities* capabilities = nullptr;
    const std::map<std::string, std::function<std::string()>> steps = {
        {"identity",
         [&] {
             return std::string(adapter.GetAdapterName()) + "/" + adapter.GetFriendlyName() + "/" +
                    adapter.GetLabel() + " reserved=" + std::to_string(adapter.Reserved());
         }},
        {"available", [&] { return std::to_string(adapter.IsHardwareAvailable()); }},
        {"prepared", [&] { return std::to_string(adapter.IsPreconfigured()); }},
        {"prepare", [&] { return std::to_string(adapter.Preconfigure(&listener)); }},
        {"select", [&] { return std::to_string(adapter.Select(&listener)); }},
        {"unselect", [&] { return std::to_string(adapter.Unselect(&listener)); }},
        {"connect", [&] { return std::to_string(Connect(adapter, w, &listener)); }},
        {"disconnect", [&] { return std::to_string(adapter.Disconnect(&listener)); }},
        {"error",
         [&] {
             return std::to_string(adapter.GetGeneriqueLastError()) + " " +
                    std::to_string(adapter.GetSpecifiqueLastError());
         }},
        {"poll", [&] { return Polled(adapter.GetNetworkState(state, &listener), state); }},
        {"networks",
         [&] {
             std::string text = std::to_string(adapter.GetNetworkState(state, nullptr));
             for (std::uint32_t i = 0; i < state.m_count; ++i) {
                 text += " " + std::string(state.m_ssid[i]) + ":" + std::to_string(state.m_quality[i]);
             }
             return text;
         }},
        {"supports",
         [&] {
             const int result = adapter.IsSecureMethodSupported(static_cast<enWLANSecureMethodUID>(length),
                                                                w.size() > 2 ? nullptr : &capabilities);
             const auto* wpa = dynamic_cast<CWLANWPAGenSecureCapabilities*>(capabilities);
             std::string text =
                 std::to_string(result) +
                 (capabilities == nullptr ? ""
                  : wpa == nullptr        ? " capabilities=?"
                                   : " capabilities=" + std::to_string(wpa->GetSecureMethodUID()) + "/" +
                                         std::to_string(wpa->GetMaxSupportedCipher()));
             delete capabilities;
             return text;
         }},
        {"info",
         [&] {
             const int result = adapter.GetAdapterInfo(length == 0 ? nullptr : buffer, &length);
             return std::to_string(result) + " " + std::to_string(length) + " [" +
                    reinterpret_cast<char*>(buffer) + "]";
         }},
        {"address",
         [&] {
             return Then(adapter.GetAdapterAddress(buffer, &length), [&] { return test::HexOf(buffer, 6); });
         }},
        {"peer",
         [&] {
             return Then(adapter.GetPeerAddress(buffer, &length), [&] { return test::HexOf(buffer, 6); });
         }},
        {"indicator",
         [&] { return Then(adapter.GetIndicator(buffer, &length), [&] { return test::HexOf(buffer, 1); }); }},
        {"counters",
         [&] {
             return Then(adapter.GetCounters(&counters[0], &counters[1]),
                         [&] { return counters[0] + counters[1] > 0 ? "counting" : "zero"; });
         }},
        {"no-counters", [&] { return std::to_string(adapter.GetCounters(nullptr, &counters[1])); }},
        {"renew",
         [&] {
             const std::string key = test::BytesOf(arg);
             return Then(adapter.RenewAccessPointKey(reinterpret_cast<const std::uint8_t*>(key.data()),
                                                     static_cast<std::uint32_t>(key.size() * 8)),
                         [&] { return "renewals=" + std::to_string(adapter.GetRenewalCount()); });
         }},
        {"renewal-module", [&] { return RunRenewal(adapter, w); }},
        {"handshake-failed",
         [&] {
             adapter.OnHandshakeResult(SIM_HANDSHAKE_FAILED);
             return std::string();
         }},
        {"access-point",
         [&] {
             const char* ssid = adapter.GetAccessPointSSID();
             const char* passphrase = adapter.GetAccessPointPassphrase();
             const int keyed = adapter.GetAccessPointKey(buffer);
             return std::string(ssid ? ssid : "-") + " " + (passphrase ? passphrase : "-") + " " +
                    std::to_string(keyed) + (keyed ? " " + test::HexOf(buffer, 32) : "");
         }},
        {"stub-fail-next",
         [&] { return Export<FailNextLoadFn>(kModuleName, kFailNextLoad)(), std::string(); }},
        {"stub-state",
         [&] {
             return Export<SetStateFn>(kModuleName, kSetState)(static_cast<std::int32_t>(length)),
                    std::string();
         }},
        {"stub-block", [&] { return std::string(Export<LastBlockFn>(kModuleName, kLastBlock)()); }},
        {"stub-events", [&] { return std::string(Export<EventsFn>(kModuleName, kEvents)()); }},
        {"stub-contexts",
         [&] {
             const bool mine = Export<LastAdapterFn>(kModuleName, kLastAdapter)() == adapter.AsWpaAdapter();
             return std::to_string(Export<CountFn>(kModuleName, kLiveCount)()) + " live, " +
                    std::to_string(Export<CountFn>(kModuleName, kBadFreeCount)()) + " bad frees" +
                    (mine ? ", this adapter's" : "");
         }},
        {"reset-doubles",
         [&] {
             Export<ResetFn>(kModuleName, kReset)();
             Export<wepplus_double::ResetFn>(wepplus_double::kModuleName, wepplus_double::kReset)();
             return std::string();
         }},
        {"renewal-calls",
         [&] {
             const void* last = Export<wepplus_double::LastPointerFn>(wepplus_double::kModuleName,
                                                                      wepplus_double::kLastAdapter)();
             return std::to_string(Export<wepplus_double::CallCountFn>(wepplus_double::kModuleName,
                                                                       wepplus_double::kCallCount)()) +
                    (last == static_cast<IWepPlusAdapter*>(&adapter) ? " for this adapter" : "");
         }},
    };
    const auto step = steps.find(c);
    if (step == steps.end()) {
        ADD_FAILURE() << "unknown step " << c;
        return std::string();
    }
    return step->second();
}

TEST(SimAdapterTest, Scripts) {
    const std::string world = test::ReadFile(AIRVANE_SIM_CASES "/adapter-world.xml");
    for (const stCase& c : test::ReadCases(AIRVANE_SIM_CASES "/adapter.txt")) {
        SCOPED_TRACE(c.name);
        stSimAdapterConfig config;
        std::string error;
        ASSERT_TRUE(ParseWorld(c.Get("device", world), config, error)) << error;
        CSimAdapter adapter(config);
        CRecordingListener listener;
        test::CScopedRegistry registry;
        test::RunSteps(c,
                       [&](const std::vector<std::string>& words) { return Step(adapter, listener, words); });
        EXPECT_EQ(listener.lines, c.All("trace"));
    }
}

TEST(SimAdapterModuleTest, HandsOutConfiguredAdaptersAndDiscoversHotPluggedOnes) {
    const auto getAdapter = Export<WLAN_GetAdapterFn>(AIRVANE_SIM_ADAPTER_PATH, kWLANGetAdapterExport);
    EXPECT_EQ(getAdapter(nullptr), nullptr) << "nothing hot-plugged yet";

    const std::string text = test::ReadFile(AIRVANE_SIM_CASES "/module-world.xml");
    stXMLNode* root = XMLParseText(text.c_str(), static_cast<std::uint32_t>(text.size()), nullptr);
    stXMLNode* plainDevice = XMLFindChild(root, "DEVICE");
    stXMLNode* hotDevice = XMLFindNextSibling(plainDevice, "DEVICE");
    stXMLNode* badDevice = XMLFindNextSibling(hotDevice, "DEVICE");
    ASSERT_NE(badDevice, nullptr);

    IWLANAdapter* plain = getAdapter(plainDevice);
    ASSERT_NE(plain, nullptr);
    EXPECT_STREQ(plain->GetAdapterName(), "plain");
    EXPECT_EQ(getAdapter(hotDevice), nullptr) << "kept back for discovery";
    testing::internal::CaptureStderr();
    EXPECT_EQ(getAdapter(badDevice), nullptr);
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("sim_adapter.dll: DEVICE declined: PRESENT=\"sometimes\""), std::string::npos)
        << message;
    XMLFreeTree(root); // the library frees the document after loading; the adapters copied what they need

    for (int round = 0; round < 2; ++round) {
        IWLANAdapter* hot = getAdapter(nullptr);
        ASSERT_NE(hot, nullptr) << "round " << round;
        EXPECT_STREQ(hot->GetAdapterName(), "hot");
        EXPECT_EQ(getAdapter(nullptr), nullptr) << "round " << round;
    }
    EXPECT_STREQ(plain->GetFriendlyName(), "plain");
}

// Exit handlers run in the reverse order of their registration: a host's handler registered before
// the manager was built runs after the static objects made since, yet may still reach the adapters
// through the manager. The child loads a copy of the plug-in, so that none of its objects predate
// the handler.
TEST(SimAdapterModuleTest, AdaptersOutliveTheHostsExitHandlers) {
    test::CTempDir folder;
    const std::string module =
        std::filesystem::path(folder.File("sim_adapter.dll")).make_preferred().string();
    std::filesystem::copy_file(AIRVANE_SIM_ADAPTER_PATH, module);
    test::WriteFile(folder.File("WLANInterfaces.xml"),
                    "<WLAN><ADAPTER DLL=\"" + module +
                        "\"><DEVICE HARDWAREID=\"A\"><SIMADAPTER NAME=\"sim0\"><NETWORK SSID=\"Open\" "
                        "SECURITY=\"NONE\"/></SIMADAPTER></DEVICE></ADAPTER></WLAN>\n");
    EXPECT_EQ(test::RunInChild([&] {
                  test::CScopedCurrentDir current(folder.Path());
                  std::atexit([] { std::_Exit(CAirvane::Instance().Disconnect(nullptr) == 1 ? 0 : 97); });
                  CAirvane& manager = CAirvane::Instance();
                  CWLANProfil profile("Open");
                  EXPECT_EQ(manager.SelectWLANAdapter("sim0", nullptr), 1);
                  EXPECT_EQ(manager.Connect(profile, nullptr), 1);
                  if (!::testing::Test::HasFailure()) {
                      std::exit(0); // the handler decides the status
                  }
                  return 1;
              }),
              0);
}

} // namespace
} // namespace airvane::sim
