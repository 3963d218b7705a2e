// Building the manager: every scenario runs in its own process, as the manager is built
// once per process.

#include "airvane/manager/Airvane.h"

#include "tests/manager/ManagerTestSupport.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using airvane::test::CDriverControl;
using airvane::test::CRecordingListener;
using airvane::test::CScopedEnv;
using airvane::test::RunWithConfiguration;
using Strings = std::vector<std::string>;

std::string Config(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<WLANInterfaces>\n" + body +
           "</WLANInterfaces>\n";
}

// Whether a test module is loaded in this process (without loading it).
bool IsLoaded(const char* module) {
    const std::string path = airvane::test::ExecutableDir() + "/" + module;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        ::dlclose(handle);
    }
    return handle != nullptr;
}

// Names of the registered adapters, in key order (a listing of adapters that are all usable).
Strings Registered(CAirvane& manager) {
    const stListWLANAdapter& list = manager.ListWLANAdapter(0, nullptr);
    Strings names;
    for (std::uint32_t i = 0; i < list.adapterCount; ++i) {
        names.emplace_back(list.adapterName[i]);
    }
    return names;
}

const std::string kTwoModules = Config("<ADAPTER DLL=\"drv1.dll\">\n"
                                       "<DEVICE ID=\"a\" NAME=\"alpha\"/>\n"
                                       "<DEVICE ID=\"b\" NAME=\"beta\"></DEVICE>\n"
                                       "</ADAPTER>\n"
                                       "<ADAPTER DLL=\"drv2.dll\"><DEVICE ID=\"c\"/></ADAPTER>\n");

TEST(AirvaneInstanceTest, LoadsEveryModuleAndRegistersEachDevice) {
    EXPECT_EQ(RunWithConfiguration(
                  kTwoModules.c_str(),
                  []() {
                      CRecordingListener listener;
                      CAirvane& manager = CAirvane::Instance(nullptr, &listener);
                      EXPECT_EQ(listener.lines,
                                (Strings{"Dll loaded : drv1.dll", "DLL : drv1.dll supported adapter : alpha",
                                         "DLL : drv1.dll supported adapter : beta", "Dll loaded : drv2.dll",
                                         "DLL : drv2.dll supported adapter : c"}));
                      CDriverControl drv1("drv1.dll");
                      CDriverControl drv2("drv2.dll");
                      EXPECT_EQ(drv1.Log(),
                                (Strings{"WLAN_GetAdapter(a)", "a.GetAdapterName()", "a.GetAdapterName()",
                                         "WLAN_GetAdapter(b)", "b.GetAdapterName()", "b.GetAdapterName()"}));
                      EXPECT_EQ(drv2.Log(),
                                (Strings{"WLAN_GetAdapter(c)", "c.GetAdapterName()", "c.GetAdapterName()"}));
                      EXPECT_EQ(Registered(manager), (Strings{"alpha", "beta", "c"}));
                  }),
              0);
}

TEST(AirvaneInstanceTest, NullListenerLoadsAndRegistersTheSame) {
    EXPECT_EQ(RunWithConfiguration(kTwoModules.c_str(),
                                   []() {
                                       CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
                                       EXPECT_EQ(CDriverControl("drv1.dll").Log().size(), 6u);
                                       EXPECT_EQ(Registered(manager), (Strings{"alpha", "beta", "c"}));
                                   }),
              0);
}

TEST(AirvaneInstanceTest, LaterCallsReturnTheSameObjectAndDoNothing) {
    EXPECT_EQ(RunWithConfiguration(kTwoModules.c_str(),
                                   []() {
                                       CRecordingListener first;
                                       CAirvane* manager = &CAirvane::Instance(nullptr, &first);
                                       CDriverControl drv1("drv1.dll");
                                       drv1.ClearLog();
                                       CRecordingListener second;
                                       CGestionModeAcces modes{};
                                       EXPECT_EQ(&CAirvane::Instance(&modes, &second), manager);
                                       EXPECT_EQ(&CAirvane::Instance(), manager);
                                       EXPECT_TRUE(second.lines.empty());
                                       EXPECT_EQ(first.lines.size(), 5u);
                                       EXPECT_TRUE(drv1.Log().empty());
                                   }),
              0);
}

TEST(AirvaneInstanceTest, NestedCallFromTraceGetsTheObjectUnderConstruction) {
    EXPECT_EQ(RunWithConfiguration(kTwoModules.c_str(),
                                   []() {
                                       CRecordingListener listener;
                                       CRecordingListener other;
                                       std::vector<CAirvane*> nested;
                                       listener.onTrace = [&](const char*) {
                                           nested.push_back(&CAirvane::Instance(nullptr, &other));
                                       };
                                       CAirvane* manager = &CAirvane::Instance(nullptr, &listener);
                                       ASSERT_EQ(nested.size(), 5u);
                                       for (CAirvane* inner : nested) {
                                           EXPECT_EQ(inner, manager);
                                       }
                                       EXPECT_EQ(listener.lines.size(), 5u);
                                       EXPECT_TRUE(other.lines.empty());
                                       EXPECT_EQ(CDriverControl("drv1.dll").Log().size(), 6u);
                                   }),
              0);
}

TEST(AirvaneInstanceTest, MissingFileGivesAnEmptyManagerWithoutTrace) {
    EXPECT_EQ(RunWithConfiguration(nullptr,
                                   []() {
                                       CRecordingListener listener;
                                       CAirvane& manager = CAirvane::Instance(nullptr, &listener);
                                       EXPECT_EQ(manager.ListWLANAdapter(1, &listener).adapterCount, 0u);
                                       EXPECT_TRUE(listener.lines.empty());
                                       EXPECT_FALSE(IsLoaded("drv1.dll"));
                                   }),
              0);
}

TEST(AirvaneInstanceTest, SkipsAdaptersThatCannotBeLoadedWithoutTrace) {
    const std::string config = Config("<ADAPTER><DEVICE ID=\"x\"/></ADAPTER>\n"
                                      "<ADAPTER DLL=\"absent.dll\"><DEVICE ID=\"y\"/></ADAPTER>\n"
                                      "<ADAPTER DLL=\"noexport.dll\"><DEVICE ID=\"z\"/></ADAPTER>\n"
                                      "<OTHER DLL=\"drv2.dll\"><DEVICE ID=\"o\"/></OTHER>\n"
                                      "<ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"no\" DECLINE=\"1\"/>"
                                      "<SOMETHING ID=\"s\"/><DEVICE ID=\"a\"/></ADAPTER>\n");
    EXPECT_EQ(RunWithConfiguration(
                  config.c_str(),
                  []() {
                      CRecordingListener listener;
                      CAirvane& manager = CAirvane::Instance(nullptr, &listener);
                      EXPECT_EQ(listener.lines,
                                (Strings{"Dll loaded : drv1.dll", "DLL : drv1.dll supported adapter : a"}));
                      // A module without the entry point stays loaded.
                      EXPECT_TRUE(IsLoaded("noexport.dll"));
                      EXPECT_FALSE(IsLoaded("drv2.dll"));
                      EXPECT_EQ(CDriverControl("drv1.dll").Log(),
                                (Strings{"WLAN_GetAdapter(no)", "WLAN_GetAdapter(a)", "a.GetAdapterName()",
                                         "a.GetAdapterName()"}));
                      EXPECT_EQ(Registered(manager), (Strings{"a"}));
                  }),
              0);
}

TEST(AirvaneInstanceTest, RootWithoutAdapterChildGivesEmptyRegistries) {
    const std::string config = Config("<DEVICE ID=\"a\"/>\n<GROUP><ADAPTER DLL=\"drv1.dll\"/></GROUP>\n");
    EXPECT_EQ(RunWithConfiguration(config.c_str(),
                                   []() {
                                       CRecordingListener listener;
                                       CAirvane& manager = CAirvane::Instance(nullptr, &listener);
                                       EXPECT_EQ(manager.ListWLANAdapter(1, &listener).adapterCount, 0u);
                                       EXPECT_TRUE(listener.lines.empty());
                                       EXPECT_FALSE(IsLoaded("drv1.dll"));
                                   }),
              0);
}

TEST(AirvaneInstanceTest, SameModuleInTwoAdaptersIsOneDriverEntry) {
    const std::string config = Config("<ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"a\"/></ADAPTER>\n"
                                      "<ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"b\"/></ADAPTER>\n");
    EXPECT_EQ(RunWithConfiguration(
                  config.c_str(),
                  []() {
                      CRecordingListener listener;
                      CAirvane& manager = CAirvane::Instance(nullptr, &listener);
                      EXPECT_EQ(listener.lines,
                                (Strings{"Dll loaded : drv1.dll", "DLL : drv1.dll supported adapter : a",
                                         "Dll loaded : drv1.dll", "DLL : drv1.dll supported adapter : b"}));
                      CDriverControl drv1("drv1.dll");
                      drv1.ClearLog();
                      manager.ListWLANAdapter(1, nullptr);
                      int discoveries = 0;
                      for (const std::string& call : drv1.Log()) {
                          discoveries += call == "WLAN_GetAdapter(null)" ? 1 : 0;
                      }
                      EXPECT_EQ(discoveries, 1);
                  }),
              0);
}

TEST(AirvaneInstanceTest, RegistersUnderTheSecondNameCutTo255BytesFirstOneWins) {
    const std::string longName(300, 'n');
    const std::string cutName(255, 'n');
    const std::string config =
        Config("<ADAPTER DLL=\"drv1.dll\">"
               "<DEVICE ID=\"d1\" NAMESEQ=\"decoy\" NAME=\"real\"/>"
               "<DEVICE ID=\"d2\" NAMESEQ=\"~\" NAME=\"never\"/>"
               "<DEVICE ID=\"d3\" NULLNAME=\"1\"/>"
               "<DEVICE ID=\"d4\" NAME=\"\"/>"
               "<DEVICE ID=\"d5\" NAMESEQ=\"first|~\"/>"
               "<DEVICE ID=\"d6\" NAME=\"real\"/>"
               "<DEVICE ID=\"l1\" NAME=\"" +
               longName + "\"/><DEVICE ID=\"l2\" NAME=\"" + cutName + "xyz\"/></ADAPTER>\n");
    EXPECT_EQ(RunWithConfiguration(
                  config.c_str(),
                  [&]() {
                      CRecordingListener listener;
                      CAirvane& manager = CAirvane::Instance(nullptr, &listener);
                      EXPECT_EQ(listener.lines,
                                (Strings{"Dll loaded : drv1.dll", "DLL : drv1.dll supported adapter : real",
                                         "DLL : drv1.dll supported adapter : " + cutName}));
                      CDriverControl drv1("drv1.dll");
                      EXPECT_EQ(drv1.Log(),
                                (Strings{"WLAN_GetAdapter(d1)", "d1.GetAdapterName()", "d1.GetAdapterName()",
                                         "WLAN_GetAdapter(d2)", "d2.GetAdapterName()", "WLAN_GetAdapter(d3)",
                                         "d3.GetAdapterName()", "WLAN_GetAdapter(d4)", "d4.GetAdapterName()",
                                         "d4.GetAdapterName()", "WLAN_GetAdapter(d5)", "d5.GetAdapterName()",
                                         "d5.GetAdapterName()", "WLAN_GetAdapter(d6)", "d6.GetAdapterName()",
                                         "d6.GetAdapterName()", "WLAN_GetAdapter(l1)", "l1.GetAdapterName()",
                                         "l1.GetAdapterName()", "WLAN_GetAdapter(l2)", "l2.GetAdapterName()",
                                         "l2.GetAdapterName()"}));
                      drv1.ClearLog();
                      EXPECT_EQ(manager.SelectWLANAdapter("real", nullptr), 1);
                      EXPECT_EQ(manager.SelectWLANAdapter(cutName.c_str(), nullptr), 1);
                      EXPECT_EQ(manager.SelectWLANAdapter(longName.c_str(), nullptr), 1);
                      EXPECT_EQ(drv1.Log(), (Strings{"d1.Select(null)", "d1.Unselect(null)",
                                                     "l1.Select(null)", "l1.Unselect(null)"}));
                  }),
              0);
}

const std::string kRejectedOld = "DLL : drv1.dll don't support OS for : \n"
                                 "<DEVICE ID=\"old\">\n<X KITNAME=\"k\" OSCODE=\"98\"></X>\n</DEVICE>\n";

TEST(AirvaneInstanceTest, DevicesForOtherSystemsAreTracedAndNeverOffered) {
    const std::string config = Config("<ADAPTER DLL=\"drv1.dll\">"
                                      "<DEVICE ID=\"old\"><X KITNAME=\"k\" OSCODE=\"98\"/></DEVICE>"
                                      "<DEVICE ID=\"new\"><X OSCODE=\" 2000 ; XP \"/></DEVICE>"
                                      "<DEVICE ID=\"none\"><X OSCODE=\"\"/><Y/></DEVICE>"
                                      "</ADAPTER>\n");
    EXPECT_EQ(
        RunWithConfiguration(
            config.c_str(),
            []() {
                CScopedEnv xp("AIRVANE_OS_VERSION", "2.5.1.2600");
                CRecordingListener listener;
                CAirvane::Instance(nullptr, &listener);
                EXPECT_EQ(listener.lines, (Strings{"Dll loaded : drv1.dll", kRejectedOld,
                                                   "DLL : drv1.dll supported adapter : new",
                                                   "DLL : drv1.dll don't support OS for : \n"
                                                   "<DEVICE ID=\"none\">\n<X OSCODE=\"\"></X>\n<Y></Y>\n"
                                                   "</DEVICE>\n"}));
                EXPECT_EQ(CDriverControl("drv1.dll").Log(),
                          (Strings{"WLAN_GetAdapter(new)", "new.GetAdapterName()", "new.GetAdapterName()"}));
            }),
        0);
}

// The worked example of the host's access-mode data, plus a configuration file that must
// be ignored because the host passes its object.
struct stWorkedExample {
    stWorkedExample() {
        entries[0] = AccessModeEntry{"KitA", "HW-A", 0, "drv1.dll\"XP;2000\"", nullptr, 7, nullptr, nullptr};
        entries[1] =
            AccessModeEntry{"KitB", "HW-B", 0, "drv1.dll\"98\"drv2.dll", nullptr, 7, nullptr, nullptr};
        modes.m_lists[kAccessModeWifi].entries = entries;
        modes.m_lists[kAccessModeWifi].count = 2;
    }
    AccessModeEntry entries[2];
    CGestionModeAcces modes{};
};

const std::string kDrv3File = Config("<ADAPTER DLL=\"drv3.dll\"><DEVICE ID=\"f\"/></ADAPTER>\n");

TEST(AirvaneInstanceTest, HostDataRegistersInReversedOrderFirstNameWins) {
    EXPECT_EQ(RunWithConfiguration(
                  kDrv3File.c_str(),
                  []() {
                      CScopedEnv windows98("AIRVANE_OS_VERSION", "1.4.10.1998");
                      stWorkedExample host;
                      CRecordingListener listener;
                      CAirvane& manager = CAirvane::Instance(&host.modes, &listener);
                      EXPECT_EQ(listener.lines,
                                (Strings{"Dll loaded : drv2.dll", "DLL : drv2.dll supported adapter : HW-B",
                                         "Dll loaded : drv1.dll",
                                         "DLL : drv1.dll don't support OS for : \n"
                                         "<DEVICE CLASS=\"NET\" HARDWAREID=\"HW-A\">\n"
                                         "<X KITNAME=\"KitA\" OSCODE=\"XP;2000\"></X>\n</DEVICE>\n"}));
                      EXPECT_FALSE(IsLoaded("drv3.dll"));
                      CDriverControl drv1("drv1.dll");
                      CDriverControl drv2("drv2.dll");
                      // drv1's HW-B device reaches the module but its name is already taken.
                      EXPECT_EQ(drv1.Log(), (Strings{"WLAN_GetAdapter(HW-B)", "HW-B.GetAdapterName()",
                                                     "HW-B.GetAdapterName()"}));
                      EXPECT_EQ(drv2.Log(), drv1.Log());
                      drv1.ClearLog();
                      drv2.ClearLog();
                      EXPECT_EQ(manager.SelectWLANAdapter("HW-B", nullptr), 1);
                      EXPECT_TRUE(drv1.Log().empty());
                      EXPECT_EQ(drv2.Log(), (Strings{"HW-B.Select(null)"}));
                  }),
              0);
}

TEST(AirvaneInstanceTest, HostDataUnderXPRegistersTheXPDevice) {
    EXPECT_EQ(RunWithConfiguration(
                  kDrv3File.c_str(),
                  []() {
                      CScopedEnv xp("AIRVANE_OS_VERSION", "2.5.1.2600");
                      stWorkedExample host;
                      CRecordingListener listener;
                      CAirvane& manager = CAirvane::Instance(&host.modes, &listener);
                      EXPECT_EQ(listener.lines,
                                (Strings{"Dll loaded : drv2.dll", "DLL : drv2.dll supported adapter : HW-B",
                                         "Dll loaded : drv1.dll",
                                         "DLL : drv1.dll don't support OS for : \n"
                                         "<DEVICE CLASS=\"NET\" HARDWAREID=\"HW-B\">\n"
                                         "<X KITNAME=\"KitB\" OSCODE=\"98\"></X>\n</DEVICE>\n",
                                         "DLL : drv1.dll supported adapter : HW-A"}));
                      EXPECT_EQ(Registered(manager), (Strings{"HW-A", "HW-B"}));
                  }),
              0);
}

TEST(AirvaneInstanceTest, HostObjectWithoutEntriesDoesNotFallBackToTheFile) {
    EXPECT_EQ(RunWithConfiguration(kDrv3File.c_str(),
                                   []() {
                                       CGestionModeAcces modes{};
                                       CRecordingListener listener;
                                       CAirvane& manager = CAirvane::Instance(&modes, &listener);
                                       EXPECT_TRUE(listener.lines.empty());
                                       EXPECT_EQ(manager.ListWLANAdapter(1, nullptr).adapterCount, 0u);
                                       EXPECT_FALSE(IsLoaded("drv3.dll"));
                                   }),
              0);
}

TEST(AirvaneInstanceTest, CopiesShareAdaptersButNotTheSelection) {
    EXPECT_EQ(RunWithConfiguration(kTwoModules.c_str(),
                                   []() {
                                       CRecordingListener listener;
                                       CAirvane& manager = CAirvane::Instance(nullptr, &listener);
                                       CDriverControl drv1("drv1.dll");
                                       drv1.ClearLog();
                                       CAirvane copy(manager);
                                       CAirvane assigned(manager);
                                       assigned = copy;
                                       EXPECT_TRUE(drv1.Log().empty());
                                       EXPECT_EQ(listener.lines.size(), 5u);
                                       EXPECT_EQ(copy.SelectWLANAdapter("alpha", nullptr), 1);
                                       EXPECT_STREQ(copy.SelectedWLANAdapter(), "alpha");
                                       EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
                                       assigned = copy;
                                       EXPECT_STREQ(assigned.SelectedWLANAdapter(), "alpha");
                                       EXPECT_EQ(drv1.Log(), (Strings{"a.Select(null)"}));
                                   }),
              0);
}

TEST(AirvaneInstanceTest, ProcessExitDestroysTheManagerWithoutCallingAdapters) {
    airvane::test::CTempDir folder;
    airvane::test::WriteFile(folder.File("WLANInterfaces.xml"), kTwoModules);
    const int status = airvane::test::RunInChild([&]() {
        if (::chdir(folder.Path().c_str()) != 0) {
            return 2;
        }
        CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
        manager.SelectWLANAdapter("alpha", nullptr);
        manager.ListWLANAdapter(0, nullptr);
        // Normal exit: static objects go, the manager among them.
        std::exit(0);
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(airvane::test::RunInChild([]() -> int { std::exit(0); }), 0);
}

} // namespace
