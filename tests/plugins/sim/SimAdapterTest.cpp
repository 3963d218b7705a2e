// The simulated adapter against the test doubles of the supplicant and key-renewal modules, and
// the simulator's own modules through their exported entry points, loaded by path from the
// folder of the command-line host.

#include "plugins/sim/adapter/SimAdapter.h"

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
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

namespace airvane::sim {
namespace {

constexpr const char* kPassphrase = "correct horse";

stSimNetwork MakeNetwork(const std::string& ssid, enSimSecurity security, std::vector<std::uint8_t> key = {},
                         enSimAssociation association = SIM_ASSOCIATION_ACCEPT) {
    stSimNetwork network;
    network.ssid = ssid;
    network.quality = static_cast<std::int32_t>(ssid.size() * 10);
    network.security = security;
    network.key = std::move(key);
    network.association = association;
    network.bssid[0] = 0x02;
    network.bssid[5] = static_cast<std::uint8_t>(ssid.size());
    return network;
}

// Adapter sim0 with a network of each kind; the `cleared` flags are turned off.
stSimAdapterConfig MakeConfig(std::initializer_list<bool stSimAdapterConfig::*> cleared = {}) {
    stSimAdapterConfig config;
    config.name = "sim0";
    config.friendlyName = "Simulated";
    config.label = "label";
    const std::uint8_t address[kSimAddressBytes] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    std::memcpy(config.address, address, sizeof address);
    config.wepPlusSupported = true;
    for (bool stSimAdapterConfig::*flag : cleared) {
        config.*flag = false;
    }
    config.networks.push_back(MakeNetwork("Cafe", SIM_SECURITY_NONE));
    config.networks.push_back(MakeNetwork("Office", SIM_SECURITY_WEP, {1, 2, 3, 4, 5}));
    config.networks.push_back(MakeNetwork("Plus", SIM_SECURITY_WEPPLUS, {9, 8, 7, 6, 5}));
    config.networks.push_back(MakeNetwork("Home", SIM_SECURITY_WPAPSK));
    config.networks.back().passphrase = kPassphrase;
    config.networks.push_back(MakeNetwork("Guarded", SIM_SECURITY_NONE, {}, SIM_ASSOCIATION_REFUSE));
    config.networks.push_back(MakeNetwork("Far", SIM_SECURITY_NONE, {}, SIM_ASSOCIATION_IGNORE));
    return config;
}

const std::initializer_list<bool stSimAdapterConfig::*> kNoWpaNoWepPlus = {
    &stSimAdapterConfig::wpaSupported, &stSimAdapterConfig::wepPlusSupported};

// Records the trace lines an adapter sends.
class CRecordingListener final : public IWLANListener {
public:
    int Trace(const char* line) override {
        lines.emplace_back(line);
        return 1;
    }
    std::vector<std::string> lines;
};

template <typename Fn> Fn Export(const char* module, const char* name) {
    return reinterpret_cast<Fn>(platform::GetModuleExport(platform::LoadModule(module), name));
}

// Connects with a profile holding `secret`: the key bytes of WEP and WEP Plus, the pass phrase of
// WPA-PSK.
int ConnectTo(CSimAdapter& adapter, const char* ssid, enWLANSecureMethodUID uid = WLAN_SECURE_NONE,
              const std::string& secret = std::string(), IWLANListener* listener = nullptr) {
    CWLANProfil profile(ssid, uid);
    if (auto* wpa = dynamic_cast<CWLANWPAPSKSecureMethod*>(profile.GetSecureMethodIF());
        wpa && !secret.empty()) {
        wpa->SetPassword(secret.c_str());
    } else if (auto* wep = dynamic_cast<CWLANWEPSecureMethod*>(profile.GetSecureMethodIF());
               wep && !secret.empty()) {
        wep->SetKey(reinterpret_cast<const unsigned char*>(secret.data()),
                    static_cast<std::uint32_t>(secret.size() * 8));
    }
    return adapter.Connect(profile, listener);
}

int Poll(CSimAdapter& adapter, CWLANState& state, IWLANListener* listener = nullptr) {
    state.Empty();
    return adapter.GetNetworkState(state, listener);
}

void ExpectError(CSimAdapter& adapter, en_WLANLastError generic, enSimError specific) {
    EXPECT_EQ(adapter.GetGeneriqueLastError(), generic);
    EXPECT_EQ(adapter.GetSpecifiqueLastError(), static_cast<std::uint32_t>(specific));
}

class SimAdapterTest : public ::testing::Test {
protected:
    SimAdapterTest() : m_adapter(MakeConfig()) {}

    CSimAdapter m_adapter;
    CRecordingListener m_listener;
};

TEST_F(SimAdapterTest, IdentityPresenceSelectionAndPreparation) {
    EXPECT_STREQ(m_adapter.GetAdapterName(), "sim0");
    EXPECT_STREQ(m_adapter.GetFriendlyName(), "Simulated");
    EXPECT_EQ(m_adapter.IsHardwareAvailable(), 1);
    EXPECT_EQ(m_adapter.IsPreconfigured(), 1);
    EXPECT_EQ(m_adapter.Reserved(), kSimWepPlusSignature);

    CSimAdapter preparable(MakeConfig({&stSimAdapterConfig::ready}));
    EXPECT_EQ(preparable.IsPreconfigured(), 0);
    EXPECT_EQ(preparable.Preconfigure(nullptr), 1);
    EXPECT_EQ(preparable.IsPreconfigured(), 1);
    CSimAdapter broken(MakeConfig({&stSimAdapterConfig::ready, &stSimAdapterConfig::prepareSucceeds}));
    EXPECT_EQ(broken.Preconfigure(nullptr), 0);
    EXPECT_EQ(broken.IsPreconfigured(), 0);
    EXPECT_EQ(broken.GetGeneriqueLastError(), WLAN_ERROR_NOT_PRECONFIGURED);

    CSimAdapter absent(MakeConfig({&stSimAdapterConfig::present}));
    EXPECT_EQ(absent.IsHardwareAvailable(), 0);
    EXPECT_EQ(absent.Select(nullptr), 0);
    EXPECT_EQ(absent.GetGeneriqueLastError(), WLAN_ERROR_HARDWARE_UNAVAILABLE);
    CSimAdapter busy(MakeConfig({&stSimAdapterConfig::acceptsSelection}));
    EXPECT_EQ(busy.Select(&m_listener), 0);
    ExpectError(busy, WLAN_ERROR_DRIVER, SIM_ERROR_SELECTION_REFUSED);
    EXPECT_EQ(m_listener.lines,
              std::vector<std::string>{"Simulated adapter sim0: failed: selection refused"});

    // Nothing but selection works on an unselected adapter.
    CWLANState state;
    EXPECT_EQ(Poll(m_adapter, state), 0);
    ExpectError(m_adapter, WLAN_ERROR_NOT_SELECTED, SIM_ERROR_NOT_SELECTED);
    EXPECT_EQ(ConnectTo(m_adapter, "Cafe"), 0);
    ExpectError(m_adapter, WLAN_ERROR_NOT_SELECTED, SIM_ERROR_NOT_SELECTED);
    EXPECT_EQ(m_adapter.Select(nullptr), 1);
    ExpectError(m_adapter, WLAN_ERROR_NONE, SIM_ERROR_NONE);
    EXPECT_EQ(Poll(m_adapter, state), 1);
    EXPECT_EQ(m_adapter.Unselect(nullptr), 1);
    EXPECT_EQ(Poll(m_adapter, state), 0);
}

TEST_F(SimAdapterTest, ListsNetworksAndWalksAnOpenAssociation) {
    ASSERT_EQ(m_adapter.Select(nullptr), 1);
    CWLANState state;
    ASSERT_EQ(Poll(m_adapter, state), 1);
    ASSERT_EQ(state.m_count, 6u);
    EXPECT_STREQ(state.m_ssid[1], "Office");
    EXPECT_EQ(state.m_quality[1], 60);
    EXPECT_EQ(state.m_status, WLAN_LINK_NOT_ASSOCIATED);
    EXPECT_EQ(state.m_secureState, nullptr);

    CWLANProfil profile("Cafe"); // no method: an open network
    ASSERT_EQ(m_adapter.Connect(profile, &m_listener), 1);
    for (const std::int32_t status : {WLAN_LINK_ASSOCIATING, WLAN_LINK_ASSOCIATED, WLAN_LINK_ASSOCIATED}) {
        ASSERT_EQ(Poll(m_adapter, state, &m_listener), 1);
        EXPECT_EQ(state.m_status, status);
    }
    EXPECT_EQ(state.m_secureState, nullptr) << "no security, no state object";
    EXPECT_EQ(m_listener.lines, (std::vector<std::string>{"Simulated adapter sim0: associating with Cafe",
                                                          "Simulated adapter sim0: associated with Cafe"}));
    EXPECT_EQ(m_adapter.Disconnect(&m_listener), 1);
    EXPECT_EQ(m_listener.lines.back(), "Simulated adapter sim0: disconnected from Cafe");
    ASSERT_EQ(Poll(m_adapter, state), 1);
    EXPECT_EQ(state.m_status, WLAN_LINK_NOT_ASSOCIATED);
}

// Connections in sequence on one adapter: a profile that cannot work is refused at once; an
// accepted one clears the last error, which stays clear until the access point answers on the
// second poll (1 associated, 2 associating, 3 not associated).
TEST_F(SimAdapterTest, ConnectOutcomes) {
    ASSERT_EQ(m_adapter.Select(nullptr), 1);
    const struct {
        const char* ssid;
        enWLANSecureMethodUID uid;
        std::string secret;
        const char* statuses; // link status after each poll; empty when Connect fails
        en_WLANLastError generic;
        enSimError specific;
        int secureUID; // of the state object after the last poll, -1 for none
    } cases[] = {
        {"Nowhere", WLAN_SECURE_NONE, "", "", WLAN_ERROR_NETWORK_NOT_FOUND, SIM_ERROR_NETWORK_NOT_IN_RANGE,
         -1},
        {"", WLAN_SECURE_NONE, "", "", WLAN_ERROR_INVALID_PROFILE, SIM_ERROR_INVALID_PROFILE, -1},
        {"Office", WLAN_SECURE_NONE, "", "", WLAN_ERROR_ASSOCIATION_FAILED, SIM_ERROR_SECURITY_MISMATCH, -1},
        {"Office", WLAN_SECURE_WEP, "", "", WLAN_ERROR_INVALID_PROFILE, SIM_ERROR_INVALID_PROFILE, -1},
        {"Home", WLAN_SECURE_WPA, "", "", WLAN_ERROR_INVALID_PROFILE, SIM_ERROR_INVALID_PROFILE, -1},
        {"Home", WLAN_SECURE_WPAPSK, "short", "", WLAN_ERROR_INVALID_PROFILE, SIM_ERROR_INVALID_PROFILE, -1},
        {"Office", WLAN_SECURE_WEP, "\1\2\3\4\6", "23", WLAN_ERROR_AUTHENTICATION_FAILED, SIM_ERROR_WRONG_KEY,
         -1},
        // The length is part of the key.
        {"Office", WLAN_SECURE_WEP, "\1\2\3\4", "23", WLAN_ERROR_AUTHENTICATION_FAILED, SIM_ERROR_WRONG_KEY,
         -1},
        {"Office", WLAN_SECURE_WEP, "\1\2\3\4\5", "21", WLAN_ERROR_NONE, SIM_ERROR_NONE, WLAN_SECURE_WEP},
        {"Guarded", WLAN_SECURE_NONE, "", "23", WLAN_ERROR_ASSOCIATION_FAILED, SIM_ERROR_ASSOCIATION_REFUSED,
         -1},
        {"Far", WLAN_SECURE_NONE, "", "2222222222", WLAN_ERROR_NONE, SIM_ERROR_NONE, -1},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(i);
        const std::string statuses = c.statuses;
        ASSERT_EQ(ConnectTo(m_adapter, c.ssid, c.uid, c.secret), statuses.empty() ? 0 : 1);
        CWLANState state;
        for (std::size_t poll = 0; poll < statuses.size(); ++poll) {
            ExpectError(m_adapter, WLAN_ERROR_NONE, SIM_ERROR_NONE);
            ASSERT_EQ(Poll(m_adapter, state), 1);
            EXPECT_EQ(state.m_status, statuses[poll] - '0') << "poll " << poll;
        }
        ExpectError(m_adapter, c.generic, c.specific);
        if (c.secureUID < 0) {
            EXPECT_EQ(state.m_secureState, nullptr);
        } else {
            ASSERT_NE(state.m_secureState, nullptr);
            EXPECT_EQ(state.m_secureState->GetSecureMethodUID(), c.secureUID);
        }
    }

    // An adapter without WPA and WEP Plus refuses those methods.
    CSimAdapter limited(MakeConfig(kNoWpaNoWepPlus));
    ASSERT_EQ(limited.Select(nullptr), 1);
    EXPECT_EQ(ConnectTo(limited, "Home", WLAN_SECURE_WPAPSK, kPassphrase), 0);
    ExpectError(limited, WLAN_ERROR_SECURE_METHOD_UNSUPPORTED, SIM_ERROR_METHOD_UNSUPPORTED);
    EXPECT_EQ(ConnectTo(limited, "Plus", WLAN_SECURE_WEPPLUS, "\11\10\7\6\5"), 0);
    ExpectError(limited, WLAN_ERROR_SECURE_METHOD_UNSUPPORTED, SIM_ERROR_METHOD_UNSUPPORTED);
}

TEST_F(SimAdapterTest, CapabilitiesAndInformationBlock) {
    IWLANSecureCapabilities* capabilities = nullptr;
    for (const enWLANSecureMethodUID uid :
         {WLAN_SECURE_NONE, WLAN_SECURE_WEP, WLAN_SECURE_WEPPLUS, WLAN_SECURE_WPAPSK}) {
        EXPECT_EQ(m_adapter.IsSecureMethodSupported(uid, &capabilities), 1) << uid;
    }
    EXPECT_EQ(capabilities, nullptr) << "only the WPA family hands out capabilities";
    EXPECT_EQ(m_adapter.IsSecureMethodSupported(static_cast<enWLANSecureMethodUID>(9), &capabilities), 0);
    ASSERT_EQ(m_adapter.IsSecureMethodSupported(WLAN_SECURE_WPA, &capabilities), 1);
    ASSERT_NE(capabilities, nullptr);
    EXPECT_EQ(capabilities->GetSecureMethodUID(), WLAN_SECURE_WPA);
    EXPECT_EQ(dynamic_cast<CWLANWPAGenSecureCapabilities*>(capabilities)->GetMaxSupportedCipher(),
              CWLANWPAGenSecureCapabilities::WPA_CIPHER_CCMP);
    delete capabilities;
    EXPECT_EQ(m_adapter.IsSecureMethodSupported(WLAN_SECURE_WPA, nullptr), 1);

    CSimAdapter limited(MakeConfig(kNoWpaNoWepPlus));
    capabilities = nullptr;
    EXPECT_EQ(limited.IsSecureMethodSupported(WLAN_SECURE_WPA, &capabilities), 0);
    EXPECT_EQ(capabilities, nullptr);
    EXPECT_EQ(limited.IsSecureMethodSupported(WLAN_SECURE_WEPPLUS, nullptr), 0);

    unsigned char block[IWLANAdapter::kAdapterInfoBytes] = {};
    std::uint32_t length = 10;
    ASSERT_EQ(m_adapter.GetAdapterInfo(block, &length), 1);
    const std::string text = "address 02:11:22:33:44:55, WPA-PSK up to CCMP, WEP Plus";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block)), text);
    EXPECT_EQ(length, text.size() + 1);
    EXPECT_EQ(m_adapter.GetAdapterInfo(nullptr, &length), 0);
}

TEST_F(SimAdapterTest, WepPlusLinkRunsTheRenewalScheduleWithItself) {
    std::uint8_t address[6] = {};
    std::uint32_t length = 6;
    ASSERT_EQ(m_adapter.GetAdapterAddress(address, &length), 1);
    EXPECT_EQ(address[5], 0x55);
    length = 5;
    EXPECT_EQ(m_adapter.GetAdapterAddress(address, &length), 0) << "buffer too small";
    length = 6;
    EXPECT_EQ(m_adapter.GetPeerAddress(address, &length), 0) << "no link, no peer";
    EXPECT_STREQ(m_adapter.GetLabel(), "label");
    std::uint32_t sent = 7;
    std::uint32_t received = 7;
    ASSERT_EQ(m_adapter.GetCounters(&sent, &received), 1);
    EXPECT_EQ(sent + received, 0u);
    EXPECT_EQ(m_adapter.GetCounters(nullptr, &received), 0);
    const std::uint8_t fresh[] = {1, 2, 1, 2, 1};
    EXPECT_EQ(m_adapter.RenewAccessPointKey(fresh, 40), 0) << "no link";
    EXPECT_EQ(AsSimWepPlusAdapter(&m_adapter), static_cast<ISimWepPlusAdapter*>(&m_adapter));
    EXPECT_EQ(AsSimWepPlusAdapter(nullptr), nullptr);

    const auto reset = Export<wepplus_double::ResetFn>(wepplus_double::kModuleName, wepplus_double::kReset);
    const auto calls =
        Export<wepplus_double::CallCountFn>(wepplus_double::kModuleName, wepplus_double::kCallCount);
    const auto lastAdapter =
        Export<wepplus_double::LastPointerFn>(wepplus_double::kModuleName, wepplus_double::kLastAdapter);
    ASSERT_NE(reset, nullptr);
    reset();
    ASSERT_EQ(m_adapter.Select(nullptr), 1);
    ASSERT_EQ(ConnectTo(m_adapter, "Plus", WLAN_SECURE_WEPPLUS, "\11\10\7\6\5"), 1);
    CWLANState state;
    Poll(m_adapter, state);
    EXPECT_EQ(calls(), 0) << "no renewal before the link is up";
    std::uint8_t indicator[4] = {};
    length = 4;
    ASSERT_EQ(m_adapter.GetIndicator(indicator, &length), 1);
    EXPECT_EQ(indicator[0], 0);

    Poll(m_adapter, state);
    EXPECT_EQ(state.m_status, WLAN_LINK_ASSOCIATED);
    EXPECT_EQ(calls(), 1);
    EXPECT_EQ(lastAdapter(), static_cast<const void*>(static_cast<IWepPlusAdapter*>(&m_adapter)));
    ASSERT_EQ(m_adapter.GetIndicator(indicator, &length), 1);
    EXPECT_EQ(indicator[0], 1) << "the link waits for a fresh key";
    auto* plus = dynamic_cast<CWLANWEPPlusSecureMethodState*>(state.m_secureState);
    ASSERT_NE(plus, nullptr);
    EXPECT_EQ(plus->GetWepPlusState(), CWLANWEPPlusSecureMethodState::WEPPLUS_NOT_KEYED);
    length = 6;
    ASSERT_EQ(m_adapter.GetPeerAddress(address, &length), 1);
    EXPECT_EQ(address[5], 4) << "the access point's address";
    m_adapter.GetCounters(&sent, &received);
    EXPECT_GT(sent + received, 0u) << "frames counted while the link is up";

    // The access point takes a new key; the indicator drops and the old key no longer works.
    ASSERT_EQ(m_adapter.RenewAccessPointKey(fresh, 40), 1);
    EXPECT_EQ(m_adapter.GetRenewalCount(), 1u);
    m_adapter.GetIndicator(indicator, &length);
    EXPECT_EQ(indicator[0], 0);
    ASSERT_EQ(ConnectTo(m_adapter, "Plus", WLAN_SECURE_WEPPLUS, "\11\10\7\6\5"), 1);
    Poll(m_adapter, state);
    Poll(m_adapter, state);
    ExpectError(m_adapter, WLAN_ERROR_AUTHENTICATION_FAILED, SIM_ERROR_WRONG_KEY);
    ASSERT_EQ(ConnectTo(m_adapter, "Plus", WLAN_SECURE_WEPPLUS, "\1\2\1\2\1"), 1);
    Poll(m_adapter, state);
    Poll(m_adapter, state);
    EXPECT_EQ(state.m_status, WLAN_LINK_ASSOCIATED);
}

TEST_F(SimAdapterTest, WpaLinkDrivesTheSupplicantContext) {
    const char* module = wpa_stub_double::kModuleName;
    const auto reset = Export<wpa_stub_double::ResetFn>(module, wpa_stub_double::kReset);
    ASSERT_NE(reset, nullptr);
    const auto setState = Export<wpa_stub_double::SetStateFn>(module, wpa_stub_double::kSetState);
    const auto failNext = Export<wpa_stub_double::FailNextLoadFn>(module, wpa_stub_double::kFailNextLoad);
    const auto lastBlock = Export<wpa_stub_double::LastBlockFn>(module, wpa_stub_double::kLastBlock);
    const auto lastAdapter = Export<wpa_stub_double::LastAdapterFn>(module, wpa_stub_double::kLastAdapter);
    const auto events = Export<wpa_stub_double::EventsFn>(module, wpa_stub_double::kEvents);
    const auto live = Export<wpa_stub_double::CountFn>(module, wpa_stub_double::kLiveCount);
    const auto badFrees = Export<wpa_stub_double::CountFn>(module, wpa_stub_double::kBadFreeCount);
    reset();
    ASSERT_EQ(m_adapter.Select(nullptr), 1);
    failNext();
    EXPECT_EQ(ConnectTo(m_adapter, "Home", WLAN_SECURE_WPAPSK, kPassphrase), 0);
    ExpectError(m_adapter, WLAN_ERROR_DRIVER, SIM_ERROR_SUPPLICANT_UNAVAILABLE);
    EXPECT_EQ(live(), 0);

    ASSERT_EQ(ConnectTo(m_adapter, "Home", WLAN_SECURE_WPAPSK, kPassphrase), 1);
    EXPECT_NE(std::string(lastBlock()).find("ssid=\"Home\""), std::string::npos);
    EXPECT_EQ(lastAdapter(), static_cast<const void*>(ToWpaAdapter(&m_adapter)));
    EXPECT_EQ(live(), 1);
    setState(4);
    CWLANState state;
    Poll(m_adapter, state); // associating
    Poll(m_adapter, state); // associated
    std::string calls = events();
    // First run: start command, then Run; association: commands 3 and 0, then Run.
    EXPECT_NE(calls.find("C4"), std::string::npos) << calls;
    EXPECT_LT(calls.find("C4"), calls.find("C3")) << calls;
    EXPECT_LT(calls.find("C3"), calls.find("C0")) << calls;
    auto* wpa = dynamic_cast<CWLANWPAGenSecureMethodState*>(state.m_secureState);
    ASSERT_NE(wpa, nullptr);
    EXPECT_EQ(wpa->GetWpaState(), CWLANWPAGenSecureMethodState::WPA_STATE_PAIRWISE_HANDSHAKE);
    EXPECT_EQ(wpa->GetSecureMethodUID(), WLAN_SECURE_WPAPSK);

    // The supplicant's verdict reaches the adapter through the peer interface.
    m_adapter.OnHandshakeResult(SIM_HANDSHAKE_FAILED);
    Poll(m_adapter, state);
    EXPECT_EQ(state.m_status, WLAN_LINK_NOT_ASSOCIATED);
    ExpectError(m_adapter, WLAN_ERROR_AUTHENTICATION_FAILED, SIM_ERROR_HANDSHAKE_FAILED);
    Poll(m_adapter, state);
    calls = events();
    EXPECT_NE(calls.find("C1"), std::string::npos)
        << "the library tells the context the link dropped: " << calls;
    EXPECT_EQ(m_adapter.Disconnect(nullptr), 1);
    EXPECT_EQ(live(), 0) << "the context is released with the link";
    EXPECT_EQ(badFrees(), 0);
}

TEST_F(SimAdapterTest, PeerInterfaceShowsTheCurrentAccessPoint) {
    EXPECT_EQ(m_adapter.GetAccessPointSSID(), nullptr);
    std::uint8_t key[kSimPMKBytes] = {};
    EXPECT_EQ(m_adapter.GetAccessPointKey(key), 0);

    stSimAdapterConfig config = MakeConfig();
    config.networks.push_back(MakeNetwork("Lab", SIM_SECURITY_WPAPSK, std::vector<std::uint8_t>(32, 0xAB)));
    CSimAdapter adapter(config);
    ASSERT_EQ(adapter.Select(nullptr), 1);
    CWLANProfil profile("Lab", WLAN_SECURE_WPAPSK);
    const std::vector<std::uint8_t> wrong(32, 0xAC);
    dynamic_cast<CWLANWPAPSKSecureMethod*>(profile.GetSecureMethodIF())->SetKey(wrong.data(), 256);
    ASSERT_EQ(adapter.Connect(profile, nullptr), 1);
    EXPECT_STREQ(adapter.GetAccessPointSSID(), "Lab");
    EXPECT_EQ(adapter.GetAccessPointPassphrase(), nullptr);
    ASSERT_EQ(adapter.GetAccessPointKey(key), 1);
    EXPECT_EQ(key[0], 0xAB);
    adapter.Disconnect(nullptr);
}

TEST(SimAdapterModuleTest, HandsOutConfiguredAdaptersAndDiscoversHotPluggedOnes) {
    const auto getAdapter = Export<WLAN_GetAdapterFn>(AIRVANE_SIM_ADAPTER_PATH, kWLANGetAdapterExport);
    ASSERT_NE(getAdapter, nullptr);
    EXPECT_EQ(getAdapter(nullptr), nullptr) << "nothing hot-plugged yet";

    const std::string text =
        "<WLAN>"
        "<DEVICE HARDWAREID=\"A\"><SIMADAPTER NAME=\"plain\"/></DEVICE>"
        "<DEVICE HARDWAREID=\"B\"><SIMADAPTER NAME=\"hot\" HOTPLUG=\"yes\"/></DEVICE>"
        "<DEVICE HARDWAREID=\"C\"><SIMADAPTER NAME=\"bad\" PRESENT=\"sometimes\"/></DEVICE>"
        "</WLAN>";
    stXMLNode* root = XMLParseText(text.c_str(), static_cast<std::uint32_t>(text.size()), nullptr);
    ASSERT_NE(root, nullptr);
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

const std::uint8_t kInitialKey[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};

class SimWepPlusModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_run = Export<RunWepPlusFn>(AIRVANE_SIM_WEPPLUS_PATH, "RunWepPlus");
        ASSERT_NE(m_run, nullptr);
        m_method.SetKey(kInitialKey, 104);
        m_method.SetWepPlusKeyPath(kKeyPath);
    }

    // sim0 with one WEP Plus network holding the initial key.
    static stSimAdapterConfig Config(bool acceptsRenewal) {
        stSimAdapterConfig config = MakeConfig();
        config.networks = {
            MakeNetwork("Plus", SIM_SECURITY_WEPPLUS, {std::begin(kInitialKey), std::end(kInitialKey)})};
        config.networks[0].acceptsRenewal = acceptsRenewal;
        return config;
    }

    // Connects on network "Plus" with `key` and polls twice; returns the last error.
    static en_WLANLastError Connect(CSimAdapter& adapter, const std::uint8_t* key) {
        EXPECT_EQ(ConnectTo(adapter, "Plus", WLAN_SECURE_WEPPLUS, std::string(key, key + sizeof kInitialKey)),
                  1);
        CWLANState state;
        Poll(adapter, state);
        Poll(adapter, state);
        EXPECT_EQ(state.m_status, adapter.GetGeneriqueLastError() == WLAN_ERROR_NONE
                                      ? WLAN_LINK_ASSOCIATED
                                      : WLAN_LINK_NOT_ASSOCIATED);
        return adapter.GetGeneriqueLastError();
    }

    bool Stored(unsigned char stored[32], std::uint32_t& size) {
        size = 32;
        return RegistryGetBinary(kKeyPath, kValueName, stored, size) != 0;
    }

    static constexpr const char* kKeyPath = "HKEY_CURRENT_USER\\Software\\Test\\WepPlus";
    // Adapter address 02 11 22 33 44 55 interleaved with the label "label".
    static constexpr const char* kValueName = "026C116122623365446C55";

    test::CScopedRegistry m_registry;
    RunWepPlusFn m_run = nullptr;
    CWLANWEPPlusSecureMethod m_method;
};

TEST_F(SimWepPlusModuleTest, AgreesAFreshKeyAndStoresIt) {
    CSimAdapter adapter(Config(true));
    ASSERT_EQ(adapter.Select(nullptr), 1);
    ASSERT_EQ(Connect(adapter, kInitialKey), WLAN_ERROR_NONE);

    // Counted from here: on Windows the library's own lookup of the module by bare name
    // gets this already loaded module rather than the double, and may renew while connecting.
    const std::uint32_t renewals = adapter.GetRenewalCount();
    ASSERT_EQ(m_run(&m_method, &adapter), 1);
    EXPECT_EQ(adapter.GetRenewalCount(), renewals + 1);
    EXPECT_EQ(m_method.GetKeySizeInBit(), 104u);
    unsigned char inUse[32] = {};
    m_method.GetKey(inUse);
    unsigned char stored[32] = {};
    std::uint32_t size = 0;
    ASSERT_TRUE(Stored(stored, size));
    ASSERT_EQ(size, 13u);
    EXPECT_EQ(0, std::memcmp(inUse, stored, 13)) << "the stored key is the key in use";
    EXPECT_NE(0, std::memcmp(inUse, kInitialKey, 13));

    // The access point now holds the new key: the initial key no longer associates.
    std::uint8_t indicator[4] = {};
    std::uint32_t length = 4;
    adapter.GetIndicator(indicator, &length);
    EXPECT_EQ(indicator[0], 0);
    EXPECT_EQ(Connect(adapter, kInitialKey), WLAN_ERROR_AUTHENTICATION_FAILED);
}

TEST_F(SimWepPlusModuleTest, RefusalsLeaveKeyAndStoreAlone) {
    CSimAdapter refusing(Config(false));
    ASSERT_EQ(refusing.Select(nullptr), 1);
    ASSERT_EQ(Connect(refusing, kInitialKey), WLAN_ERROR_NONE);
    EXPECT_EQ(m_run(&m_method, &refusing), 0);
    unsigned char key[32] = {};
    m_method.GetKey(key);
    EXPECT_EQ(0, std::memcmp(key, kInitialKey, 13));
    std::uint32_t size = 0;
    EXPECT_FALSE(Stored(key, size));

    CSimAdapter idle(Config(true));
    EXPECT_EQ(m_run(&m_method, &idle), 0) << "no link";
    EXPECT_EQ(m_run(nullptr, &idle), 0);
    EXPECT_EQ(m_run(&m_method, nullptr), 0);
    CForeignAdapter foreign;
    EXPECT_EQ(m_run(&m_method, &foreign), 0);
    EXPECT_EQ(foreign.calls, 0);
}

} // namespace
} // namespace airvane::sim
