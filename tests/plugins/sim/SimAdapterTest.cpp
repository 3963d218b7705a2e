#include "plugins/sim/adapter/SimAdapter.h"

#include "airvane/platform/Module.h"
#include "airvane/security/WEPPlusSecureMethod.h"
#include "airvane/security/WEPSecureMethod.h"
#include "airvane/security/WLANProfil.h"
#include "airvane/security/WPASecureCapabilities.h"
#include "airvane/security/WPASecureMethod.h"
#include "airvane/security/WPASecureMethodState.h"
#include "tests/modules/wepplus/WepPlusDouble.h"
#include "tests/modules/wpa_stub/WpaStubDouble.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace airvane::sim {
namespace {

constexpr const char* kPassphrase = "correct horse";

stSimNetwork MakeNetwork(const std::string& ssid, enSimSecurity security, std::vector<std::uint8_t> key = {},
                         const std::string& passphrase = std::string()) {
    stSimNetwork network;
    network.ssid = ssid;
    network.quality = static_cast<std::int32_t>(ssid.size() * 10);
    network.security = security;
    network.key = std::move(key);
    network.passphrase = passphrase;
    network.bssid[0] = 0x02;
    network.bssid[5] = static_cast<std::uint8_t>(ssid.size());
    return network;
}

stSimAdapterConfig MakeConfig() {
    stSimAdapterConfig config;
    config.name = "sim0";
    config.friendlyName = "Simulated";
    config.label = "label";
    const std::uint8_t address[kSimAddressBytes] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    std::memcpy(config.address, address, sizeof address);
    config.wepPlusSupported = true;
    config.networks.push_back(MakeNetwork("Cafe", SIM_SECURITY_NONE));
    config.networks.push_back(MakeNetwork("Office", SIM_SECURITY_WEP, {1, 2, 3, 4, 5}));
    config.networks.push_back(MakeNetwork("Plus", SIM_SECURITY_WEPPLUS, {9, 8, 7, 6, 5}));
    config.networks.push_back(MakeNetwork("Home", SIM_SECURITY_WPAPSK, {}, kPassphrase));
    stSimNetwork refusing = MakeNetwork("Guarded", SIM_SECURITY_NONE);
    refusing.association = SIM_ASSOCIATION_REFUSE;
    config.networks.push_back(refusing);
    stSimNetwork silent = MakeNetwork("Far", SIM_SECURITY_NONE);
    silent.association = SIM_ASSOCIATION_IGNORE;
    config.networks.push_back(silent);
    return config;
}

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

class SimAdapterTest : public ::testing::Test {
protected:
    SimAdapterTest() : m_adapter(MakeConfig()) {}

    int Poll(CWLANState& state) {
        state.Empty();
        return m_adapter.GetNetworkState(state, &m_listener);
    }

    int ConnectWep(const char* ssid, std::vector<std::uint8_t> key,
                   enWLANSecureMethodUID uid = WLAN_SECURE_WEP) {
        CWLANProfil profile(ssid, uid);
        auto* wep = dynamic_cast<CWLANWEPSecureMethod*>(profile.GetSecureMethodIF());
        EXPECT_NE(wep, nullptr);
        wep->SetKey(key.data(), static_cast<std::uint32_t>(key.size() * 8));
        return m_adapter.Connect(profile, &m_listener);
    }

    void ExpectError(en_WLANLastError generic, enSimError specific) {
        EXPECT_EQ(m_adapter.GetGeneriqueLastError(), generic);
        EXPECT_EQ(m_adapter.GetSpecifiqueLastError(), static_cast<std::uint32_t>(specific));
    }

    CSimAdapter m_adapter;
    CRecordingListener m_listener;
};

TEST_F(SimAdapterTest, IdentityPresenceAndPreparation) {
    EXPECT_STREQ(m_adapter.GetAdapterName(), "sim0");
    EXPECT_STREQ(m_adapter.GetFriendlyName(), "Simulated");
    EXPECT_EQ(m_adapter.IsHardwareAvailable(), 1);
    EXPECT_EQ(m_adapter.IsPreconfigured(), 1);
    EXPECT_EQ(m_adapter.Reserved(), kSimWepPlusSignature);

    stSimAdapterConfig config = MakeConfig();
    config.ready = false;
    CSimAdapter preparable(config);
    EXPECT_EQ(preparable.IsPreconfigured(), 0);
    EXPECT_EQ(preparable.Preconfigure(nullptr), 1);
    EXPECT_EQ(preparable.IsPreconfigured(), 1);

    config.prepareSucceeds = false;
    CSimAdapter broken(config);
    EXPECT_EQ(broken.Preconfigure(nullptr), 0);
    EXPECT_EQ(broken.IsPreconfigured(), 0);
    EXPECT_EQ(broken.GetGeneriqueLastError(), WLAN_ERROR_NOT_PRECONFIGURED);
}

TEST_F(SimAdapterTest, SelectionNeedsPresenceAndConsent) {
    stSimAdapterConfig config = MakeConfig();
    config.present = false;
    CSimAdapter absent(config);
    EXPECT_EQ(absent.IsHardwareAvailable(), 0);
    EXPECT_EQ(absent.Select(nullptr), 0);
    EXPECT_EQ(absent.GetGeneriqueLastError(), WLAN_ERROR_HARDWARE_UNAVAILABLE);

    config = MakeConfig();
    config.acceptsSelection = false;
    CSimAdapter busy(config);
    EXPECT_EQ(busy.Select(&m_listener), 0);
    EXPECT_EQ(busy.GetGeneriqueLastError(), WLAN_ERROR_DRIVER);
    EXPECT_EQ(busy.GetSpecifiqueLastError(), static_cast<std::uint32_t>(SIM_ERROR_SELECTION_REFUSED));
    ASSERT_EQ(m_listener.lines.size(), 1u);
    EXPECT_EQ(m_listener.lines[0], "Simulated adapter sim0: failed: selection refused");

    CWLANState state;
    EXPECT_EQ(Poll(state), 0) << "not selected";
    ExpectError(WLAN_ERROR_NOT_SELECTED, SIM_ERROR_NOT_SELECTED);
    CWLANProfil profile("Cafe");
    EXPECT_EQ(m_adapter.Connect(profile, nullptr), 0);
    ExpectError(WLAN_ERROR_NOT_SELECTED, SIM_ERROR_NOT_SELECTED);
    EXPECT_EQ(m_adapter.Select(nullptr), 1);
    ExpectError(WLAN_ERROR_NONE, SIM_ERROR_NONE);
    EXPECT_EQ(Poll(state), 1);
    EXPECT_EQ(m_adapter.Unselect(nullptr), 1);
    EXPECT_EQ(Poll(state), 0);
}

TEST_F(SimAdapterTest, ListsNetworksAndWalksAnOpenAssociation) {
    ASSERT_EQ(m_adapter.Select(nullptr), 1);
    CWLANState state;
    ASSERT_EQ(Poll(state), 1);
    ASSERT_EQ(state.m_count, 6u);
    EXPECT_STREQ(state.m_ssid[1], "Office");
    EXPECT_EQ(state.m_quality[1], 60);
    EXPECT_EQ(state.m_status, CSimAdapter::LINK_NOT_ASSOCIATED);
    EXPECT_EQ(state.m_secureState, nullptr);

    CWLANProfil profile("Cafe");
    ASSERT_EQ(m_adapter.Connect(profile, &m_listener), 1);
    ASSERT_EQ(Poll(state), 1);
    EXPECT_EQ(state.m_status, CSimAdapter::LINK_ASSOCIATING);
    ASSERT_EQ(Poll(state), 1);
    EXPECT_EQ(state.m_status, CSimAdapter::LINK_ASSOCIATED);
    EXPECT_EQ(state.m_secureState, nullptr) << "no security, no state object";
    ASSERT_EQ(Poll(state), 1);
    EXPECT_EQ(state.m_status, CSimAdapter::LINK_ASSOCIATED);
    EXPECT_EQ(m_listener.lines, (std::vector<std::string>{"Simulated adapter sim0: associating with Cafe",
                                                          "Simulated adapter sim0: associated with Cafe"}));

    EXPECT_EQ(m_adapter.Disconnect(&m_listener), 1);
    EXPECT_EQ(m_listener.lines.back(), "Simulated adapter sim0: disconnected from Cafe");
    ASSERT_EQ(Poll(state), 1);
    EXPECT_EQ(state.m_status, CSimAdapter::LINK_NOT_ASSOCIATED);
}

TEST_F(SimAdapterTest, ConnectRejectsWhatCannotWork) {
    ASSERT_EQ(m_adapter.Select(nullptr), 1);
    CWLANProfil nowhere("Nowhere");
    EXPECT_EQ(m_adapter.Connect(nowhere, nullptr), 0);
    ExpectError(WLAN_ERROR_NETWORK_NOT_FOUND, SIM_ERROR_NETWORK_NOT_IN_RANGE);

    CWLANProfil empty("");
    EXPECT_EQ(m_adapter.Connect(empty, nullptr), 0);
    ExpectError(WLAN_ERROR_INVALID_PROFILE, SIM_ERROR_INVALID_PROFILE);

    CWLANProfil mismatch("Office");
    EXPECT_EQ(m_adapter.Connect(mismatch, nullptr), 0);
    ExpectError(WLAN_ERROR_ASSOCIATION_FAILED, SIM_ERROR_SECURITY_MISMATCH);

    CWLANProfil noKey("Office", WLAN_SECURE_WEP);
    EXPECT_EQ(m_adapter.Connect(noKey, nullptr), 0);
    ExpectError(WLAN_ERROR_INVALID_PROFILE, SIM_ERROR_INVALID_PROFILE);

    CWLANProfil wpaFamily("Home", WLAN_SECURE_WPA);
    EXPECT_EQ(m_adapter.Connect(wpaFamily, nullptr), 0);
    ExpectError(WLAN_ERROR_INVALID_PROFILE, SIM_ERROR_INVALID_PROFILE);

    CWLANProfil shortPassphrase("Home", WLAN_SECURE_WPAPSK);
    dynamic_cast<CWLANWPAPSKSecureMethod*>(shortPassphrase.GetSecureMethodIF())->SetPassword("short");
    EXPECT_EQ(m_adapter.Connect(shortPassphrase, nullptr), 0);
    ExpectError(WLAN_ERROR_INVALID_PROFILE, SIM_ERROR_INVALID_PROFILE);

    stSimAdapterConfig config = MakeConfig();
    config.wpaSupported = false;
    config.wepPlusSupported = false;
    CSimAdapter limited(config);
    ASSERT_EQ(limited.Select(nullptr), 1);
    CWLANProfil wpa("Home", WLAN_SECURE_WPAPSK);
    dynamic_cast<CWLANWPAPSKSecureMethod*>(wpa.GetSecureMethodIF())->SetPassword(kPassphrase);
    EXPECT_EQ(limited.Connect(wpa, nullptr), 0);
    EXPECT_EQ(limited.GetGeneriqueLastError(), WLAN_ERROR_SECURE_METHOD_UNSUPPORTED);
    CWLANProfil plus("Plus", WLAN_SECURE_WEPPLUS);
    const std::uint8_t key[] = {9, 8, 7, 6, 5};
    dynamic_cast<CWLANWEPPlusSecureMethod*>(plus.GetSecureMethodIF())->SetKey(key, 40);
    EXPECT_EQ(limited.Connect(plus, nullptr), 0);
    EXPECT_EQ(limited.GetSpecifiqueLastError(), static_cast<std::uint32_t>(SIM_ERROR_METHOD_UNSUPPORTED));
}

TEST_F(SimAdapterTest, WepKeyIsCheckedWhenTheAccessPointAnswers) {
    ASSERT_EQ(m_adapter.Select(nullptr), 1);
    CWLANState state;
    ASSERT_EQ(ConnectWep("Office", {1, 2, 3, 4, 6}), 1);
    ASSERT_EQ(Poll(state), 1);
    EXPECT_EQ(state.m_status, CSimAdapter::LINK_ASSOCIATING);
    ExpectError(WLAN_ERROR_NONE, SIM_ERROR_NONE);
    ASSERT_EQ(Poll(state), 1);
    EXPECT_EQ(state.m_status, CSimAdapter::LINK_NOT_ASSOCIATED);
    EXPECT_EQ(state.m_secureState, nullptr);
    ExpectError(WLAN_ERROR_AUTHENTICATION_FAILED, SIM_ERROR_WRONG_KEY);

    ASSERT_EQ(ConnectWep("Office", {1, 2, 3, 4}), 1) << "length is part of the key";
    Poll(state);
    Poll(state);
    ExpectError(WLAN_ERROR_AUTHENTICATION_FAILED, SIM_ERROR_WRONG_KEY);

    ASSERT_EQ(ConnectWep("Office", {1, 2, 3, 4, 5}), 1);
    ExpectError(WLAN_ERROR_NONE, SIM_ERROR_NONE);
    Poll(state);
    ASSERT_EQ(Poll(state), 1);
    EXPECT_EQ(state.m_status, CSimAdapter::LINK_ASSOCIATED);
    ASSERT_NE(state.m_secureState, nullptr);
    EXPECT_EQ(state.m_secureState->GetSecureMethodUID(), WLAN_SECURE_WEP);
}

TEST_F(SimAdapterTest, AccessPointThatRefusesOrIgnores) {
    ASSERT_EQ(m_adapter.Select(nullptr), 1);
    CWLANState state;
    CWLANProfil guarded("Guarded");
    ASSERT_EQ(m_adapter.Connect(guarded, nullptr), 1);
    Poll(state);
    Poll(state);
    EXPECT_EQ(state.m_status, CSimAdapter::LINK_NOT_ASSOCIATED);
    ExpectError(WLAN_ERROR_ASSOCIATION_FAILED, SIM_ERROR_ASSOCIATION_REFUSED);

    CWLANProfil far("Far");
    ASSERT_EQ(m_adapter.Connect(far, nullptr), 1);
    for (int i = 0; i < 10; ++i) {
        Poll(state);
        EXPECT_EQ(state.m_status, CSimAdapter::LINK_ASSOCIATING);
    }
    ExpectError(WLAN_ERROR_NONE, SIM_ERROR_NONE);
}

TEST_F(SimAdapterTest, CapabilitiesAndInformationBlock) {
    IWLANSecureCapabilities* capabilities = nullptr;
    EXPECT_EQ(m_adapter.IsSecureMethodSupported(WLAN_SECURE_NONE, &capabilities), 1);
    EXPECT_EQ(m_adapter.IsSecureMethodSupported(WLAN_SECURE_WEP, &capabilities), 1);
    EXPECT_EQ(m_adapter.IsSecureMethodSupported(WLAN_SECURE_WEPPLUS, &capabilities), 1);
    EXPECT_EQ(m_adapter.IsSecureMethodSupported(WLAN_SECURE_WPAPSK, &capabilities), 1);
    EXPECT_EQ(capabilities, nullptr) << "only the WPA family hands out capabilities";
    EXPECT_EQ(m_adapter.IsSecureMethodSupported(static_cast<enWLANSecureMethodUID>(9), &capabilities), 0);
    ASSERT_EQ(m_adapter.IsSecureMethodSupported(WLAN_SECURE_WPA, &capabilities), 1);
    ASSERT_NE(capabilities, nullptr);
    EXPECT_EQ(capabilities->GetSecureMethodUID(), WLAN_SECURE_WPA);
    EXPECT_EQ(dynamic_cast<CWLANWPAGenSecureCapabilities*>(capabilities)->GetMaxSupportedCipher(),
              CWLANWPAGenSecureCapabilities::WPA_CIPHER_CCMP);
    delete capabilities;
    EXPECT_EQ(m_adapter.IsSecureMethodSupported(WLAN_SECURE_WPA, nullptr), 1);

    stSimAdapterConfig config = MakeConfig();
    config.wpaSupported = false;
    config.wepPlusSupported = false;
    CSimAdapter limited(config);
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

TEST_F(SimAdapterTest, WepPlusAdapterOperations) {
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
    const std::uint8_t fresh[] = {1, 1, 1, 1, 1};
    EXPECT_EQ(m_adapter.RenewAccessPointKey(fresh, 40), 0) << "no link";
    EXPECT_EQ(AsSimWepPlusAdapter(&m_adapter), static_cast<ISimWepPlusAdapter*>(&m_adapter));
    EXPECT_EQ(AsSimWepPlusAdapter(nullptr), nullptr);
}

TEST_F(SimAdapterTest, WepPlusLinkRunsTheRenewalScheduleWithItself) {
    const auto reset = Export<wepplus_double::ResetFn>(wepplus_double::kModuleName, wepplus_double::kReset);
    const auto calls =
        Export<wepplus_double::CallCountFn>(wepplus_double::kModuleName, wepplus_double::kCallCount);
    const auto lastAdapter =
        Export<wepplus_double::LastPointerFn>(wepplus_double::kModuleName, wepplus_double::kLastAdapter);
    ASSERT_NE(reset, nullptr);
    reset();

    ASSERT_EQ(m_adapter.Select(nullptr), 1);
    ASSERT_EQ(ConnectWep("Plus", {9, 8, 7, 6, 5}, WLAN_SECURE_WEPPLUS), 1);
    CWLANState state;
    Poll(state);
    EXPECT_EQ(calls(), 0) << "no renewal before the link is up";
    std::uint8_t indicator[4] = {};
    std::uint32_t length = 4;
    ASSERT_EQ(m_adapter.GetIndicator(indicator, &length), 1);
    EXPECT_EQ(indicator[0], 0);

    Poll(state);
    EXPECT_EQ(state.m_status, CSimAdapter::LINK_ASSOCIATED);
    EXPECT_EQ(calls(), 1);
    EXPECT_EQ(lastAdapter(), static_cast<const void*>(static_cast<IWepPlusAdapter*>(&m_adapter)));
    ASSERT_EQ(m_adapter.GetIndicator(indicator, &length), 1);
    EXPECT_EQ(indicator[0], 1) << "the link waits for a fresh key";
    auto* plus = dynamic_cast<CWLANWEPPlusSecureMethodState*>(state.m_secureState);
    ASSERT_NE(plus, nullptr);
    EXPECT_EQ(plus->GetWepPlusState(), CWLANWEPPlusSecureMethodState::WEPPLUS_NOT_KEYED);

    std::uint8_t peer[6] = {};
    length = 6;
    ASSERT_EQ(m_adapter.GetPeerAddress(peer, &length), 1);
    EXPECT_EQ(peer[5], 4) << "the access point's address";
    std::uint32_t sent = 0;
    std::uint32_t received = 0;
    m_adapter.GetCounters(&sent, &received);
    EXPECT_GT(sent + received, 0u) << "frames counted while the link is up";

    // The access point takes a new key; the indicator drops and the old key no longer works.
    const std::uint8_t fresh[] = {1, 2, 1, 2, 1};
    ASSERT_EQ(m_adapter.RenewAccessPointKey(fresh, 40), 1);
    EXPECT_EQ(m_adapter.GetRenewalCount(), 1u);
    m_adapter.GetIndicator(indicator, &length);
    EXPECT_EQ(indicator[0], 0);
    ASSERT_EQ(ConnectWep("Plus", {9, 8, 7, 6, 5}, WLAN_SECURE_WEPPLUS), 1);
    Poll(state);
    Poll(state);
    ExpectError(WLAN_ERROR_AUTHENTICATION_FAILED, SIM_ERROR_WRONG_KEY);
    ASSERT_EQ(ConnectWep("Plus", {1, 2, 1, 2, 1}, WLAN_SECURE_WEPPLUS), 1);
    Poll(state);
    Poll(state);
    EXPECT_EQ(state.m_status, CSimAdapter::LINK_ASSOCIATED);
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
    CWLANProfil profile("Home", WLAN_SECURE_WPAPSK);
    dynamic_cast<CWLANWPAPSKSecureMethod*>(profile.GetSecureMethodIF())->SetPassword(kPassphrase);

    failNext();
    EXPECT_EQ(m_adapter.Connect(profile, nullptr), 0);
    ExpectError(WLAN_ERROR_DRIVER, SIM_ERROR_SUPPLICANT_UNAVAILABLE);
    EXPECT_EQ(live(), 0);

    ASSERT_EQ(m_adapter.Connect(profile, nullptr), 1);
    EXPECT_NE(std::string(lastBlock()).find("ssid=\"Home\""), std::string::npos);
    EXPECT_EQ(lastAdapter(), static_cast<const void*>(ToWpaAdapter(&m_adapter)));
    EXPECT_EQ(live(), 1);

    setState(4);
    CWLANState state;
    Poll(state); // associating
    Poll(state); // associated
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
    Poll(state);
    EXPECT_EQ(state.m_status, CSimAdapter::LINK_NOT_ASSOCIATED);
    ExpectError(WLAN_ERROR_AUTHENTICATION_FAILED, SIM_ERROR_HANDSHAKE_FAILED);
    Poll(state);
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

} // namespace
} // namespace airvane::sim
