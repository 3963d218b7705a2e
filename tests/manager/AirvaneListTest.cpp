// Listing adapters: every scenario runs in its own process, as the manager is built once
// per process.

#include "airvane/manager/Airvane.h"

#include "tests/manager/ManagerTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using airvane::test::CDriverControl;
using airvane::test::CRecordingListener;
using airvane::test::PointerText;
using airvane::test::RunWithConfiguration;
using Strings = std::vector<std::string>;

std::string Config(const std::string& body) {
    return "<WLANInterfaces>" + body + "</WLANInterfaces>";
}

Strings Names(const stListWLANAdapter& list) {
    Strings names;
    for (std::uint32_t i = 0; i < list.adapterCount && i < stListWLANAdapter::kMaxAdapters; ++i) {
        names.emplace_back(list.adapterName[i]);
    }
    return names;
}

Strings Concat(Strings first, const Strings& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

const std::string kFourAdapters =
    Config("<ADAPTER DLL=\"drv1.dll\">"
           "<DEVICE ID=\"b\" NAME=\"bravo\" PRECONFIGURED=\"0\" FRIENDLY=\"Bravo card\""
           " INFO=\"INFO-B\"/>"
           "<DEVICE ID=\"a\" NAME=\"alpha\"/>"
           "<DEVICE ID=\"c\" NAME=\"charlie\" HARDWARE=\"0\"/>"
           "<DEVICE ID=\"d\" NAME=\"delta\" PRECONFIGURED=\"0\" PRECONFIGURE=\"0\"/>"
           "</ADAPTER>");

// Calls of one listing of kFourAdapters without discovery, for a listener text.
Strings FourAdapterCalls(const std::string& listener, bool bravoPrepared) {
    Strings calls{"a.IsPreconfigured()",
                  "a.IsHardwareAvailable()",
                  "a.GetAdapterName()",
                  "a.GetFriendlyName()",
                  "a.GetAdapterInfo(length=10,zeroed=1)",
                  "b.IsPreconfigured()"};
    if (!bravoPrepared) {
        calls.push_back("b.Preconfigure(" + listener + ")");
    }
    return Concat(calls,
                  {"b.IsHardwareAvailable()", "b.GetAdapterName()", "b.GetFriendlyName()",
                   "b.GetAdapterInfo(length=10,zeroed=1)", "c.IsPreconfigured()", "c.IsHardwareAvailable()",
                   "d.IsPreconfigured()", "d.Preconfigure(" + listener + ")",
                   // Re-keying asks every name twice.
                   "a.GetAdapterName()", "a.GetAdapterName()", "b.GetAdapterName()", "b.GetAdapterName()",
                   "c.GetAdapterName()", "c.GetAdapterName()", "d.GetAdapterName()", "d.GetAdapterName()"});
}

TEST(AirvaneListTest, PreparesRegisteredAdaptersInKeyOrderAndListsThePresentOnes) {
    EXPECT_EQ(RunWithConfiguration(
                  kFourAdapters.c_str(),
                  []() {
                      CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
                      CDriverControl drv1("drv1.dll");
                      drv1.ClearLog();
                      CRecordingListener listener;
                      const stListWLANAdapter& list = manager.ListWLANAdapter(0, &listener);
                      EXPECT_EQ(listener.lines,
                                (Strings{"Hardware available : alpha", "Hardware available : bravo",
                                         "Hardware unavailable : charlie",
                                         "Preconfigure failed for adapter : delta"}));
                      EXPECT_EQ(drv1.Log(), FourAdapterCalls(PointerText(&listener), false));
                      ASSERT_EQ(list.adapterCount, 2u);
                      EXPECT_STREQ(list.adapterName[0], "alpha");
                      EXPECT_STREQ(list.friendlyName[0], "Friendly a");
                      EXPECT_EQ(list.adapterInfoLength[0], 10u);
                      EXPECT_EQ(std::string(reinterpret_cast<const char*>(list.adapterInfo[0]), 10),
                                std::string(10, '\0'));
                      EXPECT_STREQ(list.adapterName[1], "bravo");
                      EXPECT_STREQ(list.friendlyName[1], "Bravo card");
                      EXPECT_EQ(list.adapterInfoLength[1], 6u);
                      EXPECT_EQ(std::string(reinterpret_cast<const char*>(list.adapterInfo[1]), 6), "INFO-B");

                      // bravo is ready now: no second Preconfigure; same names listed again.
                      stListWLANAdapter first;
                      first = list;
                      drv1.ClearLog();
                      listener.lines.clear();
                      EXPECT_EQ(&manager.ListWLANAdapter(0, &listener), &list);
                      EXPECT_EQ(drv1.Log(), FourAdapterCalls(PointerText(&listener), true));
                      EXPECT_TRUE(list == first);
                  }),
              0);
}

TEST(AirvaneListTest, NullListenerStillPreparesEveryAdapter) {
    EXPECT_EQ(RunWithConfiguration(kFourAdapters.c_str(),
                                   []() {
                                       CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
                                       CDriverControl drv1("drv1.dll");
                                       drv1.ClearLog();
                                       EXPECT_EQ(manager.ListWLANAdapter(0, nullptr).adapterCount, 2u);
                                       EXPECT_EQ(drv1.Log(), FourAdapterCalls("null", false));
                                   }),
              0);
}

TEST(AirvaneListTest, NoRegisteredAdapterMeansNoCallAndNoTrace) {
    const std::string config = Config("<ADAPTER DLL=\"drv1.dll\"></ADAPTER>");
    EXPECT_EQ(RunWithConfiguration(config.c_str(),
                                   []() {
                                       CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
                                       CDriverControl drv1("drv1.dll");
                                       CRecordingListener listener;
                                       EXPECT_EQ(manager.ListWLANAdapter(0, &listener).adapterCount, 0u);
                                       EXPECT_TRUE(drv1.Log().empty());
                                       EXPECT_EQ(manager.ListWLANAdapter(1, &listener).adapterCount, 0u);
                                       EXPECT_EQ(drv1.Log(), (Strings{"WLAN_GetAdapter(null)"}));
                                       EXPECT_TRUE(listener.lines.empty());
                                   }),
              0);
}

TEST(AirvaneListTest, SelectionEndsWhenTheSelectedAdapterFails) {
    EXPECT_EQ(RunWithConfiguration(kFourAdapters.c_str(),
                                   []() {
                                       CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
                                       CDriverControl drv1("drv1.dll");
                                       // Another adapter failing leaves the selection alone.
                                       ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
                                       manager.ListWLANAdapter(0, nullptr);
                                       EXPECT_STREQ(manager.SelectedWLANAdapter(), "alpha");
                                       // Device absent.
                                       drv1.Set("a", "HARDWARE", "0");
                                       manager.ListWLANAdapter(0, nullptr);
                                       EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
                                       // Preparation failed.
                                       drv1.Set("a", "HARDWARE", "1");
                                       ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
                                       drv1.Set("a", "PRECONFIGURED", "0");
                                       drv1.Set("a", "PRECONFIGURE", "0");
                                       manager.ListWLANAdapter(0, nullptr);
                                       EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
                                   }),
              0);
}

TEST(AirvaneListTest, RenamedAdapterIsListedUnderItsNewNameAndReKeyed) {
    EXPECT_EQ(RunWithConfiguration(kFourAdapters.c_str(),
                                   []() {
                                       CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
                                       CDriverControl drv1("drv1.dll");
                                       ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
                                       drv1.Set("a", "NAME", "omega");
                                       CRecordingListener listener;
                                       const stListWLANAdapter& list = manager.ListWLANAdapter(0, &listener);
                                       // The trace shows the key the adapter was registered under.
                                       EXPECT_EQ(listener.lines[0], "Hardware available : alpha");
                                       EXPECT_EQ(Names(list), (Strings{"omega", "bravo"}));
                                       // The selection keeps the old name, which no longer finds an adapter.
                                       EXPECT_STREQ(manager.SelectedWLANAdapter(), "alpha");
                                       drv1.ClearLog();
                                       EXPECT_EQ(manager.Disconnect(nullptr), 0);
                                       EXPECT_EQ(manager.SelectedWLANAdapterFriendlyName(), nullptr);
                                       EXPECT_EQ(manager.GetSpecifiqueLastError(), 0u);
                                       EXPECT_EQ(manager.GetGeneriqueLastError(), WLAN_ERROR_NONE);
                                       EXPECT_TRUE(drv1.Log().empty());
                                       // Selecting the new name unselects nothing (no adapter under the old
                                       // name).
                                       EXPECT_EQ(manager.SelectWLANAdapter("omega", nullptr), 1);
                                       EXPECT_EQ(drv1.Log(), (Strings{"a.Select(null)"}));
                                       listener.lines.clear();
                                       manager.ListWLANAdapter(0, &listener);
                                       EXPECT_EQ(listener.lines[3], "Hardware available : omega");
                                   }),
              0);
}

TEST(AirvaneListTest, ReKeyingDropsEmptyAndTakenNames) {
    const std::string config =
        Config("<ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"a\" NAME=\"alpha\"/>"
               "<DEVICE ID=\"b\" NAME=\"bravo\"/><DEVICE ID=\"c\" NAME=\"charlie\"/></ADAPTER>");
    EXPECT_EQ(RunWithConfiguration(
                  config.c_str(),
                  []() {
                      CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
                      CDriverControl drv1("drv1.dll");
                      drv1.Set("b", "NAME", "");
                      drv1.Set("c", "NAME", "alpha");
                      EXPECT_EQ(Names(manager.ListWLANAdapter(0, nullptr)), (Strings{"alpha", "", "alpha"}));
                      drv1.ClearLog();
                      EXPECT_EQ(Names(manager.ListWLANAdapter(0, nullptr)), (Strings{"alpha"}));
                      for (const std::string& call : drv1.Log()) {
                          EXPECT_EQ(call.rfind("a.", 0), 0u) << call;
                      }
                      // Dropped adapters come back only through discovery, under a free name.
                      drv1.Queue("c");
                      drv1.Set("b", "NAME", "bravo");
                      drv1.Queue("b");
                      EXPECT_EQ(Names(manager.ListWLANAdapter(1, nullptr)), (Strings{"alpha", "bravo"}));
                  }),
              0);
}

TEST(AirvaneListTest, DiscoveryRegistersEachNewAdapterOnce) {
    // drv2 comes first in the file; discovery still asks drv1 first.
    const std::string config = Config(
        "<ADAPTER DLL=\"drv2.dll\"/><ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"a\" NAME=\"alpha\"/></ADAPTER>");
    EXPECT_EQ(
        RunWithConfiguration(
            config.c_str(),
            []() {
                CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
                CDriverControl drv1("drv1.dll");
                CDriverControl drv2("drv2.dll");
                for (const char* id : {"n1", "n2", "n1", "e", "dup", "n3"}) {
                    drv1.Queue(id);
                }
                drv1.Set("n2", "PRECONFIGURED", "0");
                drv1.Set("n2", "PRECONFIGURE", "0");
                drv1.Set("e", "NAME", "");
                drv1.Set("dup", "NAME", "alpha");
                drv1.Set("n3", "HARDWARE", "0");
                drv2.Queue("m1");
                drv2.Set("m1", "PRECONFIGURED", "0");
                drv1.ClearLog();
                CRecordingListener listener;
                const std::string l = PointerText(&listener);
                const stListWLANAdapter& list = manager.ListWLANAdapter(1, &listener);
                EXPECT_EQ(listener.lines,
                          (Strings{"Hardware available : alpha",
                                   "Compatible new adapter : n1 found with dll drv1.dll",
                                   "Preconfigure failed for new adapter: n2 found with dll drv1.dll",
                                   "HW unavailable for compatible new adapter : n2 found with dll drv1.dll",
                                   "HW unavailable for compatible new adapter : n3 found with dll drv1.dll",
                                   "Compatible new adapter : m1 found with dll drv2.dll"}));
                EXPECT_EQ(Names(list), (Strings{"alpha", "n1", "m1"}));
                EXPECT_EQ(drv1.Log(),
                          (Strings{"a.IsPreconfigured()", "a.IsHardwareAvailable()", "a.GetAdapterName()",
                                   "a.GetFriendlyName()", "a.GetAdapterInfo(length=10,zeroed=1)",
                                   "a.GetAdapterName()", "a.GetAdapterName()",
                                   // Discovery.
                                   "WLAN_GetAdapter(null)", "n1.GetAdapterName()", "n1.GetAdapterName()",
                                   "n1.IsPreconfigured()", "n1.IsPreconfigured()", "n1.IsHardwareAvailable()",
                                   "n1.GetFriendlyName()", "n1.GetAdapterInfo(length=10,zeroed=1)",
                                   "WLAN_GetAdapter(null)", "n2.GetAdapterName()", "n2.GetAdapterName()",
                                   "n2.IsPreconfigured()", "n2.Preconfigure(" + l + ")",
                                   "n2.IsPreconfigured()", "WLAN_GetAdapter(null)", "n1.GetAdapterName()",
                                   "n1.GetAdapterName()", "WLAN_GetAdapter(null)", "e.GetAdapterName()",
                                   "e.GetAdapterName()", "WLAN_GetAdapter(null)", "dup.GetAdapterName()",
                                   "dup.GetAdapterName()", "WLAN_GetAdapter(null)", "n3.GetAdapterName()",
                                   "n3.GetAdapterName()", "n3.IsPreconfigured()", "n3.IsPreconfigured()",
                                   "n3.IsHardwareAvailable()", "WLAN_GetAdapter(null)"}));
                EXPECT_EQ(drv2.Log(),
                          (Strings{"WLAN_GetAdapter(null)", "m1.GetAdapterName()", "m1.GetAdapterName()",
                                   "m1.IsPreconfigured()", "m1.Preconfigure(" + l + ")",
                                   "m1.IsPreconfigured()", "m1.IsHardwareAvailable()", "m1.GetFriendlyName()",
                                   "m1.GetAdapterInfo(length=10,zeroed=1)", "WLAN_GetAdapter(null)"}));
                // New adapters stay registered, usable or not, and are listed as registered ones.
                listener.lines.clear();
                EXPECT_EQ(Names(manager.ListWLANAdapter(0, &listener)), (Strings{"alpha", "m1", "n1"}));
                EXPECT_EQ(listener.lines,
                          (Strings{"Hardware available : alpha", "Hardware available : m1",
                                   "Hardware available : n1", "Preconfigure failed for adapter : n2",
                                   "Hardware unavailable : n3"}));
            }),
        0);
}

TEST(AirvaneListTest, ListsAtMost32AdaptersAndTracesTheRest) {
    const std::string config = Config("<ADAPTER DLL=\"drv1.dll\"/>");
    EXPECT_EQ(RunWithConfiguration(config.c_str(),
                                   []() {
                                       CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
                                       CDriverControl drv1("drv1.dll");
                                       for (int i = 0; i < 33; ++i) {
                                           char id[8];
                                           std::snprintf(id, sizeof(id), "n%02d", i);
                                           drv1.Queue(id);
                                       }
                                       CRecordingListener listener;
                                       const stListWLANAdapter& list = manager.ListWLANAdapter(1, &listener);
                                       EXPECT_EQ(list.adapterCount, 32u);
                                       EXPECT_STREQ(list.adapterName[31], "n31");
                                       EXPECT_EQ(listener.lines.size(), 33u);
                                       EXPECT_EQ(listener.lines.back(),
                                                 "Compatible new adapter : n32 found with dll drv1.dll");
                                       // Everything after the record is intact.
                                       EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
                                       listener.lines.clear();
                                       EXPECT_EQ(manager.ListWLANAdapter(0, &listener).adapterCount, 32u);
                                       EXPECT_EQ(listener.lines.size(), 33u);
                                       EXPECT_EQ(manager.SelectWLANAdapter("n32", nullptr), 1);
                                   }),
              0);
}

} // namespace
