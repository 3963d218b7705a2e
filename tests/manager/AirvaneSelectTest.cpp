// Selecting an adapter and forwarding requests to it: every scenario runs in its own
// process, as the manager is built once per process.

#include "airvane/manager/Airvane.h"

#include "airvane/security/WLANProfil.h"
#include "airvane/security/WLANState.h"
#include "tests/manager/ManagerTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using airvane::test::CDriverControl;
using airvane::test::CRecordingListener;
using airvane::test::PointerText;
using airvane::test::RunWithConfiguration;
using Strings = std::vector<std::string>;

// alpha accepts, bravo refuses to be selected, charlie reports 5 from Unselect.
const char kConfig[] = "<WLANInterfaces><ADAPTER DLL=\"drv1.dll\">"
                       "<DEVICE ID=\"a\" NAME=\"alpha\" FRIENDLY=\"Alpha card\" SPECERR=\"11\" GENERR=\"2\"/>"
                       "<DEVICE ID=\"b\" NAME=\"bravo\" SELECT=\"0\" SPECERR=\"22\" GENERR=\"3\"/>"
                       "<DEVICE ID=\"c\" NAME=\"charlie\" UNSELECT=\"5\"/>"
                       "</ADAPTER></WLANInterfaces>";

// Runs `body` with the manager built from kConfig and drv1's log cleared.
int WithManager(const std::function<void(CAirvane&, const CDriverControl&)>& body) {
    return RunWithConfiguration(kConfig, [&]() {
        CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
        const CDriverControl drv1("drv1.dll");
        drv1.ClearLog();
        body(manager, drv1);
    });
}

TEST(AirvaneSelectTest, SelectingTheCurrentSelectionCallsNothing) {
    EXPECT_EQ(WithManager([](CAirvane& manager, const CDriverControl& drv1) {
                  EXPECT_EQ(manager.SelectWLANAdapter(nullptr, nullptr), 1);
                  EXPECT_EQ(manager.SelectWLANAdapter("", nullptr), 1);
                  EXPECT_TRUE(drv1.Log().empty());
                  CRecordingListener listener;
                  EXPECT_EQ(manager.SelectWLANAdapter("alpha", &listener), 1);
                  EXPECT_EQ(manager.SelectWLANAdapter("alpha", &listener), 1);
                  EXPECT_EQ(drv1.Log(), (Strings{"a.Select(" + PointerText(&listener) + ")"}));
                  EXPECT_STREQ(manager.SelectedWLANAdapter(), "alpha");
                  EXPECT_STREQ(manager.SelectedWLANAdapterFriendlyName(), "Alpha card");
                  EXPECT_TRUE(listener.lines.empty());
              }),
              0);
}

TEST(AirvaneSelectTest, SwitchingUnselectsTheOldAdapterFirst) {
    EXPECT_EQ(WithManager([](CAirvane& manager, const CDriverControl& drv1) {
                  ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
                  EXPECT_EQ(manager.SelectWLANAdapter("charlie", nullptr), 1);
                  EXPECT_STREQ(manager.SelectedWLANAdapter(), "charlie");
                  // Deselecting returns the Unselect result.
                  EXPECT_EQ(manager.SelectWLANAdapter(nullptr, nullptr), 5);
                  EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
                  EXPECT_EQ(drv1.Log(), (Strings{"a.Select(null)", "a.Unselect(null)", "c.Select(null)",
                                                 "c.Unselect(null)"}));
              }),
              0);
}

TEST(AirvaneSelectTest, RefusedSelectionLeavesNoneAndExplainsItsError) {
    EXPECT_EQ(WithManager([](CAirvane& manager, const CDriverControl& drv1) {
                  ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
                  EXPECT_EQ(manager.SelectWLANAdapter("bravo", nullptr), 0);
                  EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
                  EXPECT_EQ(manager.SelectedWLANAdapterFriendlyName(), nullptr);
                  EXPECT_EQ(manager.GetSpecifiqueLastError(), 22u);
                  EXPECT_EQ(manager.GetGeneriqueLastError(), static_cast<en_WLANLastError>(3));
                  EXPECT_EQ(drv1.Log(), (Strings{"a.Select(null)", "a.Unselect(null)", "b.Select(null)",
                                                 "b.GetSpecifiqueLastError()", "b.GetGeneriqueLastError()"}));
                  // A later successful selection answers for itself.
                  ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
                  EXPECT_EQ(manager.GetSpecifiqueLastError(), 11u);
                  EXPECT_EQ(manager.GetGeneriqueLastError(), static_cast<en_WLANLastError>(2));
              }),
              0);
}

TEST(AirvaneSelectTest, UnknownNameOnlyDeselects) {
    EXPECT_EQ(WithManager([](CAirvane& manager, const CDriverControl& drv1) {
                  EXPECT_EQ(manager.SelectWLANAdapter("zulu", nullptr), 0);
                  EXPECT_EQ(manager.GetSpecifiqueLastError(), 0u);
                  ASSERT_EQ(manager.SelectWLANAdapter("charlie", nullptr), 1);
                  EXPECT_EQ(manager.SelectWLANAdapter("zulu", nullptr), 5);
                  EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
                  // The last requested name is still charlie's.
                  drv1.ClearLog();
                  EXPECT_EQ(manager.GetSpecifiqueLastError(), 0u);
                  EXPECT_EQ(drv1.Log(), (Strings{"c.GetSpecifiqueLastError()"}));
              }),
              0);
}

TEST(AirvaneSelectTest, WithoutSelectionNothingIsForwarded) {
    EXPECT_EQ(WithManager([](CAirvane& manager, const CDriverControl& drv1) {
                  EXPECT_EQ(manager.GetSpecifiqueLastError(), 0u);
                  EXPECT_EQ(manager.GetGeneriqueLastError(), WLAN_ERROR_NONE);
                  CWLANProfil profile("net");
                  EXPECT_EQ(manager.Connect(profile, nullptr), 0);
                  EXPECT_EQ(manager.Disconnect(nullptr), 0);
                  auto state = std::make_unique<CWLANState>();
                  state->m_count = 3;
                  state->m_status = 1;
                  EXPECT_EQ(manager.GetNetworkState(*state, nullptr), 0);
                  EXPECT_EQ(state->m_count, 0u);
                  EXPECT_EQ(state->m_status, CWLANState::kResetStatus);
                  auto* const marker = reinterpret_cast<IWLANSecureCapabilities*>(&profile);
                  IWLANSecureCapabilities* capabilities = marker;
                  EXPECT_EQ(manager.IsSecureMethodSupported(WLAN_SECURE_WEP, &capabilities), 0);
                  EXPECT_EQ(capabilities, marker);
                  EXPECT_EQ(manager.SelectedWLANAdapterFriendlyName(), nullptr);
                  EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
                  EXPECT_TRUE(drv1.Log().empty());
              }),
              0);
}

TEST(AirvaneSelectTest, ForwardsRequestsToTheSelectedAdapter) {
    EXPECT_EQ(
        WithManager([](CAirvane& manager, const CDriverControl& drv1) {
            ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
            drv1.Set("a", "CONNECT", "7");
            drv1.Set("a", "DISCONNECT", "8");
            drv1.Set("a", "STATE", "9");
            drv1.Set("a", "SECURE", "6");
            drv1.Set("a", "NETCOUNT", "2");
            drv1.ClearLog();
            CRecordingListener listener;
            const std::string l = PointerText(&listener);
            CWLANProfil profile("net");
            EXPECT_EQ(manager.Connect(profile, &listener), 7);
            EXPECT_EQ(manager.Disconnect(nullptr), 8);
            auto state = std::make_unique<CWLANState>();
            state->m_count = 5;
            state->m_status = 1;
            EXPECT_EQ(manager.GetNetworkState(*state, &listener), 9);
            EXPECT_EQ(state->m_count, 2u);
            IWLANSecureCapabilities* capabilities = nullptr;
            EXPECT_EQ(manager.IsSecureMethodSupported(WLAN_SECURE_WPAPSK, &capabilities), 6);
            EXPECT_EQ(
                drv1.Log(),
                (Strings{"a.Connect(" + PointerText(&profile) + "," + l + ")", "a.Disconnect(null)",
                         // The state arrives emptied.
                         "a.GetNetworkState(" + PointerText(state.get()) + "," + l + ",count=0,status=4)",
                         "a.IsSecureMethodSupported(4," + PointerText(&capabilities) + ")"}));
            EXPECT_TRUE(listener.lines.empty());
        }),
        0);
}

TEST(AirvaneSelectTest, ErrorsComeFromTheLastRequestedAdapterOnlyWhenNothingIsSelected) {
    EXPECT_EQ(WithManager([](CAirvane& manager, const CDriverControl& drv1) {
                  // The listing drops the selection of an absent adapter: errors still come from it.
                  ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
                  drv1.Set("a", "HARDWARE", "0");
                  manager.ListWLANAdapter(0, nullptr);
                  ASSERT_STREQ(manager.SelectedWLANAdapter(), "");
                  EXPECT_EQ(manager.GetSpecifiqueLastError(), 11u);
                  // A stale selection (the adapter renamed) answers 0 without falling back.
                  drv1.Set("c", "NAME", "charlie2");
                  ASSERT_EQ(manager.SelectWLANAdapter("charlie", nullptr), 1);
                  manager.ListWLANAdapter(0, nullptr);
                  ASSERT_STREQ(manager.SelectedWLANAdapter(), "charlie");
                  drv1.ClearLog();
                  EXPECT_EQ(manager.GetSpecifiqueLastError(), 0u);
                  EXPECT_EQ(manager.GetGeneriqueLastError(), WLAN_ERROR_NONE);
                  EXPECT_TRUE(drv1.Log().empty());
              }),
              0);
}

} // namespace
