#include "airvane/manager/Airvane.h"

#include "airvane/platform/Module.h"
#include "airvane/security/WLANProfil.h"
#include "airvane/security/WLANState.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using airvane::test::CTempDir;
using airvane::test::ExecutableDir;
using airvane::test::RunInChild;
using airvane::test::WriteFile;
using Strings = std::vector<std::string>;

// Listener that records every trace line; an optional hook runs inside each
// Trace call.
struct stRecordingListener : IWLANListener {
    int Trace(const char* line) override {
        lines.emplace_back(line);
        if (onTrace) {
            onTrace(line);
        }
        return 1;
    }
    Strings lines;
    std::function<void(const char*)> onTrace;
};

// Reaches the control functions of one scripted driver module (drv1.dll, ...),
// loaded by the same name as the manager loads it, so both see the same module.
class CDriverControl {
public:
    explicit CDriverControl(const char* moduleName) {
        airvane::platform::ModuleHandle module = airvane::platform::LoadModule(moduleName);
        EXPECT_NE(module, nullptr) << "cannot load " << moduleName;
        Resolve(module, "TestDriverLog", m_log);
        Resolve(module, "TestDriverClearLog", m_clearLog);
        Resolve(module, "TestDriverSet", m_set);
        Resolve(module, "TestDriverQueue", m_queue);
    }
    // Calls recorded so far, one entry per call, in order.
    Strings Log() const {
        Strings calls;
        std::istringstream text(m_log());
        for (std::string line; std::getline(text, line);) {
            calls.push_back(line);
        }
        return calls;
    }
    void ClearLog() const { m_clearLog(); }
    void Set(const char* id, const char* key, const char* value) const { m_set(id, key, value); }
    void Queue(const char* id) const { m_queue(id); }

private:
    template <typename Function>
    static void Resolve(airvane::platform::ModuleHandle module, const char* name, Function& function) {
        void* address = airvane::platform::GetModuleExport(module, name);
        ASSERT_NE(address, nullptr) << "missing export " << name;
        std::memcpy(&function, &address, sizeof(function));
    }

    const char* (*m_log)() = nullptr;
    void (*m_clearLog)() = nullptr;
    void (*m_set)(const char*, const char*, const char*) = nullptr;
    void (*m_queue)(const char*) = nullptr;
};

// Pointer as the scripted driver writes it in its log ("null" or "0x..." in
// hex).
std::string PointerText(const void* pointer) {
    if (pointer == nullptr) {
        return "null";
    }
    char text[32];
    std::snprintf(text, sizeof(text), "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pointer)));
    return text;
}

std::string Config(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<WLANInterfaces>\n" + body +
           "</WLANInterfaces>\n";
}

// Names in a listing, never reading past the record.
Strings Names(const stListWLANAdapter& list) {
    Strings names;
    for (std::uint32_t i = 0; i < list.adapterCount && i < stListWLANAdapter::kMaxAdapters; ++i) {
        names.emplace_back(list.adapterName[i]);
    }
    return names;
}

// Runs `body` in a child process whose current directory is a fresh folder
// holding WLANInterfaces.xml with `configuration` (no file when it is empty),
// and expects the child to end without test failure. The manager is built once
// per process, so every scenario needs its own.
void ExpectInChild(const std::string& configuration, const std::function<void()>& body) {
    EXPECT_EQ(RunInChild([&]() {
                  CTempDir folder;
                  if (!configuration.empty()) {
                      WriteFile(folder.File("WLANInterfaces.xml"), configuration);
                  }
                  airvane::test::CScopedCurrentDir current(folder.Path());
                  body();
                  return 0;
              }),
              0);
}

// Whether a test module is loaded in this process (without loading it).
bool IsLoaded(const std::string& module) {
    const std::string path = ExecutableDir() + "/" + module;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        ::dlclose(handle);
    }
    return handle != nullptr;
}

// Names of the registered adapters, in key order (a listing of adapters that
// are all usable).
Strings Registered(CAirvane& manager) {
    return Names(manager.ListWLANAdapter(1, nullptr));
}

Strings Concat(Strings first, const Strings& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

const std::string kTwoModules = Config("<ADAPTER DLL=\"drv1.dll\">\n"
                                       "<DEVICE ID=\"a\" NAME=\"alpha\"/>\n"
                                       "<DEVICE ID=\"b\" NAME=\"beta\"></DEVICE>\n"
                                       "</ADAPTER>\n"
                                       "<ADAPTER DLL=\"drv2.dll\"><DEVICE ID=\"c\"/></ADAPTER>\n");
const std::string kDrv3File = Config("<ADAPTER DLL=\"drv3.dll\"><DEVICE ID=\"f\"/></ADAPTER>\n");
const Strings kTwoModulesTrace{"Dll loaded : drv1.dll", "DLL : drv1.dll supported adapter : alpha",
                               "DLL : drv1.dll supported adapter : beta", "Dll loaded : drv2.dll",
                               "DLL : drv2.dll supported adapter : c"};
const Strings kTwoModulesDrv1{"WLAN_GetAdapter(a)", "a.GetAdapterName()", "a.GetAdapterName()",
                              "WLAN_GetAdapter(b)", "b.GetAdapterName()", "b.GetAdapterName()"};
const Strings kTwoModulesDrv2{"WLAN_GetAdapter(c)", "c.GetAdapterName()", "c.GetAdapterName()"};

// The host's access-mode data of the worked example; a configuration file is
// then ignored.
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

enum enHost { kNoHost, kWorkedExample, kEmptyHost };

struct stBuildCase {
    const char* name;
    std::string config; // empty: no file
    const char* osVersion;
    enHost host;
    bool listen;
    Strings trace, drv1, drv2, registered, loaded, notLoaded;
    std::function<void(CAirvane&, const CDriverControl&, const CDriverControl&)> more;
};

TEST(AirvaneInstanceTest, LoadsModulesTracesAndRegistersDevices) {
    const std::string dev98 = "<DEVICE CLASS=\"NET\" HARDWAREID=\"HW-B\">\n"
                              "<X KITNAME=\"KitB\" OSCODE=\"98\"></X>\n</DEVICE>\n";
    const std::string devXP = "<DEVICE CLASS=\"NET\" HARDWAREID=\"HW-A\">\n"
                              "<X KITNAME=\"KitA\" OSCODE=\"XP;2000\"></X>\n</DEVICE>\n";
    const std::string noOS = "DLL : drv1.dll don't support OS for : \n";
    // clang-format off
    const stBuildCase cases[] = {
        {"two modules", kTwoModules, nullptr, kNoHost, true,
         kTwoModulesTrace, kTwoModulesDrv1, kTwoModulesDrv2, {"alpha", "beta", "c"}, {}, {}, nullptr},
        {"null listener", kTwoModules, nullptr, kNoHost, false,
         {}, kTwoModulesDrv1, kTwoModulesDrv2, {"alpha", "beta", "c"}, {}, {}, nullptr},
        {"missing file", "", nullptr, kNoHost, true, {}, {}, {}, {}, {}, {"drv1.dll", "drv2.dll"}, nullptr},
        {"root without ADAPTER child",
         Config("<DEVICE ID=\"a\"/>\n<GROUP><ADAPTER DLL=\"drv1.dll\"/></GROUP>\n"), nullptr, kNoHost, true,
         {}, {}, {}, {}, {}, {"drv1.dll", "drv2.dll"}, nullptr},
        // Adapters without module name, unknown modules, modules without the entry point (which
        // stay loaded), other elements and declined devices are skipped without trace.
        {"unusable adapters",
         Config("<ADAPTER><DEVICE ID=\"x\"/></ADAPTER>\n"
                "<ADAPTER DLL=\"absent.dll\"><DEVICE ID=\"y\"/></ADAPTER>\n"
                "<ADAPTER DLL=\"noexport.dll\"><DEVICE ID=\"z\"/></ADAPTER>\n"
                "<OTHER DLL=\"drv2.dll\"><DEVICE ID=\"o\"/></OTHER>\n"
                "<ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"no\" DECLINE=\"1\"/>"
                "<SOMETHING ID=\"s\"/><DEVICE ID=\"a\"/></ADAPTER>\n"), nullptr, kNoHost, true,
         {"Dll loaded : drv1.dll", "DLL : drv1.dll supported adapter : a"},
         {"WLAN_GetAdapter(no)", "WLAN_GetAdapter(a)", "a.GetAdapterName()", "a.GetAdapterName()"}, {},
         {"a"}, {"noexport.dll"}, {"drv2.dll"}, nullptr},
        {"devices for other systems",
         Config("<ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"old\"><X KITNAME=\"k\" OSCODE=\"98\"/></DEVICE>"
                "<DEVICE ID=\"new\"><X OSCODE=\" 2000 ; XP \"/></DEVICE>"
                "<DEVICE ID=\"none\"><X OSCODE=\"\"/><Y/></DEVICE></ADAPTER>\n"), "2.5.1.2600", kNoHost, true,
         {"Dll loaded : drv1.dll", noOS + "<DEVICE ID=\"old\">\n<X KITNAME=\"k\" OSCODE=\"98\"></X>\n</DEVICE>\n",
          "DLL : drv1.dll supported adapter : new",
          noOS + "<DEVICE ID=\"none\">\n<X OSCODE=\"\"></X>\n<Y></Y>\n</DEVICE>\n"},
         {"WLAN_GetAdapter(new)", "new.GetAdapterName()", "new.GetAdapterName()"}, {}, {"new"}, {},
         {"drv2.dll"}, nullptr},
        // Adapters and devices are registered in reversed order; the first name wins, so drv1's
        // HW-B reaches the module but is not kept.
        {"host data under 98", kDrv3File, "1.4.10.1998", kWorkedExample, true,
         {"Dll loaded : drv2.dll", "DLL : drv2.dll supported adapter : HW-B", "Dll loaded : drv1.dll",
          noOS + devXP},
         {"WLAN_GetAdapter(HW-B)", "HW-B.GetAdapterName()", "HW-B.GetAdapterName()"},
         {"WLAN_GetAdapter(HW-B)", "HW-B.GetAdapterName()", "HW-B.GetAdapterName()"}, {"HW-B"}, {},
         {"drv3.dll"}, [](CAirvane& manager, const CDriverControl& drv1, const CDriverControl& drv2) {
             drv1.ClearLog();
             drv2.ClearLog();
             EXPECT_EQ(manager.SelectWLANAdapter("HW-B", nullptr), 1);
             EXPECT_TRUE(drv1.Log().empty());
             EXPECT_EQ(drv2.Log(), (Strings{"HW-B.Select(null)"}));
         }},
        {"host data under XP", kDrv3File, "2.5.1.2600", kWorkedExample, true,
         {"Dll loaded : drv2.dll", "DLL : drv2.dll supported adapter : HW-B", "Dll loaded : drv1.dll",
          noOS + dev98, "DLL : drv1.dll supported adapter : HW-A"},
         {"WLAN_GetAdapter(HW-A)", "HW-A.GetAdapterName()", "HW-A.GetAdapterName()"},
         {"WLAN_GetAdapter(HW-B)", "HW-B.GetAdapterName()", "HW-B.GetAdapterName()"}, {"HW-A", "HW-B"}, {},
         {"drv3.dll"}, nullptr},
        // A host object without entries does not fall back to the file.
        {"empty host object", kDrv3File, nullptr, kEmptyHost, true, {}, {}, {}, {}, {},
         {"drv1.dll", "drv2.dll", "drv3.dll"}, nullptr},
    };
    // clang-format on
    for (const stBuildCase& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectInChild(c.config, [&]() {
            if (c.osVersion != nullptr) {
                ::setenv("AIRVANE_OS_VERSION", c.osVersion, 1);
            }
            stWorkedExample example;
            CGestionModeAcces empty{};
            CGestionModeAcces* modes = c.host == kWorkedExample ? &example.modes
                                       : c.host == kEmptyHost   ? &empty
                                                                : nullptr;
            stRecordingListener listener;
            CAirvane& manager = CAirvane::Instance(modes, c.listen ? &listener : nullptr);
            EXPECT_EQ(listener.lines, c.trace);
            for (const std::string& module : c.loaded) {
                EXPECT_TRUE(IsLoaded(module)) << module;
            }
            bool drivers = true; // drv1 and drv2 are loaded, so their logs can be read
            for (const std::string& module : c.notLoaded) {
                EXPECT_FALSE(IsLoaded(module)) << module;
                drivers = drivers && module != "drv1.dll";
            }
            if (drivers) {
                const CDriverControl drv1("drv1.dll");
                const CDriverControl drv2("drv2.dll");
                EXPECT_EQ(drv1.Log(), c.drv1);
                EXPECT_EQ(drv2.Log(), c.drv2);
                if (c.more) {
                    c.more(manager, drv1, drv2);
                }
            }
            EXPECT_EQ(Registered(manager), c.registered);
        });
    }
}

TEST(AirvaneInstanceTest, LaterAndNestedCallsReturnTheSameObjectAndDoNothing) {
    ExpectInChild(kTwoModules, []() {
        stRecordingListener first;
        stRecordingListener other;
        std::vector<CAirvane*> nested;
        first.onTrace = [&](const char*) { nested.push_back(&CAirvane::Instance(nullptr, &other)); };
        CAirvane* manager = &CAirvane::Instance(nullptr, &first);
        // A call from inside a trace gets the object under construction.
        EXPECT_EQ(nested, std::vector<CAirvane*>(5, manager));
        first.onTrace = nullptr;
        CDriverControl drv1("drv1.dll");
        EXPECT_EQ(drv1.Log(), kTwoModulesDrv1);
        drv1.ClearLog();
        CGestionModeAcces modes{};
        EXPECT_EQ(&CAirvane::Instance(&modes, &other), manager);
        EXPECT_EQ(&CAirvane::Instance(), manager);
        EXPECT_TRUE(other.lines.empty());
        EXPECT_EQ(first.lines, kTwoModulesTrace);
        EXPECT_TRUE(drv1.Log().empty());
    });
}

TEST(AirvaneInstanceTest, SameModuleInTwoAdaptersIsOneDriverEntry) {
    const std::string config = Config("<ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"a\"/></ADAPTER>\n"
                                      "<ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"b\"/></ADAPTER>\n");
    ExpectInChild(config, []() {
        stRecordingListener listener;
        CAirvane& manager = CAirvane::Instance(nullptr, &listener);
        EXPECT_EQ(listener.lines, (Strings{"Dll loaded : drv1.dll", "DLL : drv1.dll supported adapter : a",
                                           "Dll loaded : drv1.dll", "DLL : drv1.dll supported adapter : b"}));
        CDriverControl drv1("drv1.dll");
        drv1.ClearLog();
        manager.ListWLANAdapter(1, nullptr);
        const Strings log = drv1.Log();
        EXPECT_EQ(std::count(log.begin(), log.end(), "WLAN_GetAdapter(null)"), 1);
    });
}

TEST(AirvaneInstanceTest, RegistersUnderTheSecondNameCutTo255BytesFirstOneWins) {
    const std::string longName(300, 'n');
    const std::string cutName(255, 'n');
    const std::string config =
        Config("<ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"d1\" NAMESEQ=\"decoy\" NAME=\"real\"/>"
               "<DEVICE ID=\"d2\" NAMESEQ=\"~\" NAME=\"never\"/><DEVICE ID=\"d3\" NULLNAME=\"1\"/>"
               "<DEVICE ID=\"d4\" NAME=\"\"/><DEVICE ID=\"d5\" NAMESEQ=\"first|~\"/>"
               "<DEVICE ID=\"d6\" NAME=\"real\"/><DEVICE ID=\"l1\" NAME=\"" +
               longName + "\"/><DEVICE ID=\"l2\" NAME=\"" + cutName + "xyz\"/></ADAPTER>\n");
    ExpectInChild(config, [&]() {
        stRecordingListener listener;
        CAirvane& manager = CAirvane::Instance(nullptr, &listener);
        EXPECT_EQ(listener.lines, (Strings{"Dll loaded : drv1.dll", "DLL : drv1.dll supported adapter : real",
                                           "DLL : drv1.dll supported adapter : " + cutName}));
        CDriverControl drv1("drv1.dll");
        Strings calls;
        for (const char* id : {"d1", "d2", "d3", "d4", "d5", "d6", "l1", "l2"}) {
            calls.push_back("WLAN_GetAdapter(" + std::string(id) + ")");
            // A null first name ends the registration of that device.
            const int asks = std::string(id) == "d2" || std::string(id) == "d3" ? 1 : 2;
            calls.insert(calls.end(), asks, std::string(id) + ".GetAdapterName()");
        }
        EXPECT_EQ(drv1.Log(), calls);
        drv1.ClearLog();
        EXPECT_EQ(manager.SelectWLANAdapter("real", nullptr), 1);
        EXPECT_EQ(manager.SelectWLANAdapter(cutName.c_str(), nullptr), 1);
        EXPECT_EQ(manager.SelectWLANAdapter(longName.c_str(), nullptr), 1);
        EXPECT_EQ(drv1.Log(),
                  (Strings{"d1.Select(null)", "d1.Unselect(null)", "l1.Select(null)", "l1.Unselect(null)"}));
    });
}

TEST(AirvaneInstanceTest, CopiesShareAdaptersButNotTheSelection) {
    ExpectInChild(kTwoModules, []() {
        CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
        CDriverControl drv1("drv1.dll");
        drv1.ClearLog();
        CAirvane copy(manager);
        CAirvane assigned(manager);
        assigned = copy;
        EXPECT_TRUE(drv1.Log().empty());
        EXPECT_EQ(copy.SelectWLANAdapter("alpha", nullptr), 1);
        EXPECT_STREQ(copy.SelectedWLANAdapter(), "alpha");
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
        assigned = copy;
        EXPECT_STREQ(assigned.SelectedWLANAdapter(), "alpha");
        EXPECT_EQ(drv1.Log(), (Strings{"a.Select(null)"}));
    });
}

TEST(AirvaneInstanceTest, ProcessExitDestroysTheManagerWithoutCallingAdapters) {
    // The driver ends the process with status 97 when an adapter is called at
    // exit.
    CTempDir folder;
    WriteFile(folder.File("WLANInterfaces.xml"), kTwoModules);
    EXPECT_EQ(RunInChild([&]() {
                  if (::chdir(folder.Path().c_str()) != 0) {
                      return 2;
                  }
                  CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
                  manager.SelectWLANAdapter("alpha", nullptr);
                  manager.ListWLANAdapter(0, nullptr);
                  std::exit(0); // static objects go, the manager among them
              }),
              0);
}

const std::string kFourAdapters = Config("<ADAPTER DLL=\"drv1.dll\">"
                                         "<DEVICE ID=\"b\" NAME=\"bravo\" PRECONFIGURED=\"0\" "
                                         "FRIENDLY=\"Bravo card\" INFO=\"INFO-B\"/>"
                                         "<DEVICE ID=\"a\" NAME=\"alpha\"/><DEVICE ID=\"c\" NAME=\"charlie\" "
                                         "HARDWARE=\"0\"/>"
                                         "<DEVICE ID=\"d\" NAME=\"delta\" PRECONFIGURED=\"0\" "
                                         "PRECONFIGURE=\"0\"/></ADAPTER>");

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
    for (const bool listen : {true, false}) {
        SCOPED_TRACE(listen ? "listener" : "null listener");
        ExpectInChild(kFourAdapters, [&]() {
            CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
            CDriverControl drv1("drv1.dll");
            drv1.ClearLog();
            stRecordingListener recorder;
            stRecordingListener* listener = listen ? &recorder : nullptr;
            const stListWLANAdapter& list = manager.ListWLANAdapter(0, listener);
            EXPECT_EQ(recorder.lines,
                      listen ? (Strings{"Hardware available : alpha", "Hardware available : bravo",
                                        "Hardware unavailable : charlie",
                                        "Preconfigure failed for adapter : delta"})
                             : Strings{});
            EXPECT_EQ(drv1.Log(), FourAdapterCalls(PointerText(listener), false));
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
            // bravo is ready now: no second Preconfigure; same names listed again in
            // the same record.
            stListWLANAdapter first;
            first = list;
            drv1.ClearLog();
            EXPECT_EQ(&manager.ListWLANAdapter(0, listener), &list);
            EXPECT_EQ(drv1.Log(), FourAdapterCalls(PointerText(listener), true));
            EXPECT_TRUE(list == first);
        });
    }
}

TEST(AirvaneListTest, NoRegisteredAdapterMeansNoCallAndNoTrace) {
    ExpectInChild(Config("<ADAPTER DLL=\"drv1.dll\"></ADAPTER>"), []() {
        CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
        CDriverControl drv1("drv1.dll");
        stRecordingListener listener;
        EXPECT_EQ(manager.ListWLANAdapter(0, &listener).adapterCount, 0u);
        EXPECT_TRUE(drv1.Log().empty());
        EXPECT_EQ(manager.ListWLANAdapter(1, &listener).adapterCount, 0u);
        EXPECT_EQ(drv1.Log(), (Strings{"WLAN_GetAdapter(null)"}));
        EXPECT_TRUE(listener.lines.empty());
    });
}

TEST(AirvaneListTest, SelectionEndsWhenTheSelectedAdapterFails) {
    ExpectInChild(kFourAdapters, []() {
        CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
        CDriverControl drv1("drv1.dll");
        // Another adapter failing leaves the selection alone.
        ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
        manager.ListWLANAdapter(0, nullptr);
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "alpha");
        drv1.Set("a", "HARDWARE", "0"); // device absent
        manager.ListWLANAdapter(0, nullptr);
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
        drv1.Set("a", "HARDWARE", "1");
        ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
        drv1.Set("a", "PRECONFIGURED", "0"); // preparation fails
        drv1.Set("a", "PRECONFIGURE", "0");
        manager.ListWLANAdapter(0, nullptr);
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
    });
}

TEST(AirvaneListTest, RenamedAdapterIsListedUnderItsNewNameAndReKeyed) {
    ExpectInChild(kFourAdapters, []() {
        CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
        CDriverControl drv1("drv1.dll");
        ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
        drv1.Set("a", "NAME", "omega");
        stRecordingListener listener;
        // The trace shows the key the adapter was registered under.
        EXPECT_EQ(Names(manager.ListWLANAdapter(0, &listener)), (Strings{"omega", "bravo"}));
        EXPECT_EQ(listener.lines[0], "Hardware available : alpha");
        // The selection keeps the old name, which no longer finds an adapter.
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "alpha");
        drv1.ClearLog();
        EXPECT_EQ(manager.Disconnect(nullptr), 0);
        EXPECT_EQ(manager.SelectedWLANAdapterFriendlyName(), nullptr);
        EXPECT_EQ(manager.GetSpecifiqueLastError(), 0u);
        EXPECT_EQ(manager.GetGeneriqueLastError(), WLAN_ERROR_NONE);
        EXPECT_TRUE(drv1.Log().empty());
        // Selecting the new name unselects nothing (no adapter under the old name).
        EXPECT_EQ(manager.SelectWLANAdapter("omega", nullptr), 1);
        EXPECT_EQ(drv1.Log(), (Strings{"a.Select(null)"}));
        listener.lines.clear();
        manager.ListWLANAdapter(0, &listener);
        EXPECT_EQ(listener.lines[3], "Hardware available : omega");
    });
}

TEST(AirvaneListTest, ReKeyingDropsEmptyAndTakenNames) {
    const std::string config =
        Config("<ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"a\" NAME=\"alpha\"/>"
               "<DEVICE ID=\"b\" NAME=\"bravo\"/><DEVICE ID=\"c\" NAME=\"charlie\"/></ADAPTER>");
    ExpectInChild(config, []() {
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
    });
}

TEST(AirvaneListTest, DiscoveryRegistersEachNewAdapterOnce) {
    // drv2 comes first in the file; discovery still asks drv1 first.
    const std::string config = Config(
        "<ADAPTER DLL=\"drv2.dll\"/><ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"a\" NAME=\"alpha\"/></ADAPTER>");
    ExpectInChild(config, []() {
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
        stRecordingListener listener;
        const std::string l = PointerText(&listener);
        const stListWLANAdapter& list = manager.ListWLANAdapter(1, &listener);
        EXPECT_EQ(listener.lines, (Strings{"Hardware available : alpha",
                                           "Compatible new adapter : n1 found with dll drv1.dll",
                                           "Preconfigure failed for new adapter: n2 found with dll "
                                           "drv1.dll",
                                           "HW unavailable for compatible new adapter : n2 found "
                                           "with dll drv1.dll",
                                           "HW unavailable for compatible new adapter : n3 found "
                                           "with dll drv1.dll",
                                           "Compatible new adapter : m1 found with dll drv2.dll"}));
        EXPECT_EQ(Names(list), (Strings{"alpha", "n1", "m1"}));
        EXPECT_EQ(
            drv1.Log(),
            (Strings{
                "a.IsPreconfigured()", "a.IsHardwareAvailable()", "a.GetAdapterName()", "a.GetFriendlyName()",
                "a.GetAdapterInfo(length=10,zeroed=1)", "a.GetAdapterName()", "a.GetAdapterName()",
                // Discovery.
                "WLAN_GetAdapter(null)", "n1.GetAdapterName()", "n1.GetAdapterName()", "n1.IsPreconfigured()",
                "n1.IsPreconfigured()", "n1.IsHardwareAvailable()", "n1.GetFriendlyName()",
                "n1.GetAdapterInfo(length=10,zeroed=1)", "WLAN_GetAdapter(null)", "n2.GetAdapterName()",
                "n2.GetAdapterName()", "n2.IsPreconfigured()", "n2.Preconfigure(" + l + ")",
                "n2.IsPreconfigured()", "WLAN_GetAdapter(null)", "n1.GetAdapterName()", "n1.GetAdapterName()",
                "WLAN_GetAdapter(null)", "e.GetAdapterName()", "e.GetAdapterName()", "WLAN_GetAdapter(null)",
                "dup.GetAdapterName()", "dup.GetAdapterName()", "WLAN_GetAdapter(null)",
                "n3.GetAdapterName()", "n3.GetAdapterName()", "n3.IsPreconfigured()", "n3.IsPreconfigured()",
                "n3.IsHardwareAvailable()", "WLAN_GetAdapter(null)"}));
        EXPECT_EQ(drv2.Log(),
                  (Strings{"WLAN_GetAdapter(null)", "m1.GetAdapterName()", "m1.GetAdapterName()",
                           "m1.IsPreconfigured()", "m1.Preconfigure(" + l + ")", "m1.IsPreconfigured()",
                           "m1.IsHardwareAvailable()", "m1.GetFriendlyName()",
                           "m1.GetAdapterInfo(length=10,zeroed=1)", "WLAN_GetAdapter(null)"}));
        // New adapters stay registered, usable or not, and are listed as
        // registered ones.
        listener.lines.clear();
        EXPECT_EQ(Names(manager.ListWLANAdapter(0, &listener)), (Strings{"alpha", "m1", "n1"}));
        EXPECT_EQ(listener.lines,
                  (Strings{"Hardware available : alpha", "Hardware available : m1", "Hardware available : n1",
                           "Preconfigure failed for adapter : n2", "Hardware unavailable : n3"}));
    });
}

TEST(AirvaneListTest, ListsAtMost32AdaptersAndTracesTheRest) {
    ExpectInChild(Config("<ADAPTER DLL=\"drv1.dll\"/>"), []() {
        CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
        CDriverControl drv1("drv1.dll");
        for (int i = 0; i < 33; ++i) {
            char id[8];
            std::snprintf(id, sizeof(id), "n%02d", i);
            drv1.Queue(id);
        }
        stRecordingListener listener;
        const stListWLANAdapter& list = manager.ListWLANAdapter(1, &listener);
        EXPECT_EQ(list.adapterCount, 32u);
        EXPECT_STREQ(list.adapterName[31], "n31");
        EXPECT_EQ(listener.lines.size(), 33u);
        EXPECT_EQ(listener.lines.back(), "Compatible new adapter : n32 found with dll drv1.dll");
        // Everything after the record is intact.
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
        listener.lines.clear();
        EXPECT_EQ(manager.ListWLANAdapter(0, &listener).adapterCount, 32u);
        EXPECT_EQ(listener.lines.size(), 33u);
        EXPECT_EQ(manager.SelectWLANAdapter("n32", nullptr), 1);
    });
}

// alpha accepts, bravo refuses to be selected, charlie reports 5 from Unselect.
const std::string kSelectConfig =
    Config("<ADAPTER DLL=\"drv1.dll\">"
           "<DEVICE ID=\"a\" NAME=\"alpha\" FRIENDLY=\"Alpha card\" SPECERR=\"11\" "
           "GENERR=\"2\"/>"
           "<DEVICE ID=\"b\" NAME=\"bravo\" SELECT=\"0\" SPECERR=\"22\" GENERR=\"3\"/>"
           "<DEVICE ID=\"c\" NAME=\"charlie\" UNSELECT=\"5\"/></ADAPTER>");

// Runs `body` with the manager built from kSelectConfig and drv1's log cleared.
void WithManager(const std::function<void(CAirvane&, const CDriverControl&)>& body) {
    ExpectInChild(kSelectConfig, [&]() {
        CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
        const CDriverControl drv1("drv1.dll");
        drv1.ClearLog();
        body(manager, drv1);
    });
}

TEST(AirvaneSelectTest, SelectingTheCurrentSelectionCallsNothing) {
    WithManager([](CAirvane& manager, const CDriverControl& drv1) {
        EXPECT_EQ(manager.SelectWLANAdapter(nullptr, nullptr), 1);
        EXPECT_EQ(manager.SelectWLANAdapter("", nullptr), 1);
        EXPECT_TRUE(drv1.Log().empty());
        stRecordingListener listener;
        EXPECT_EQ(manager.SelectWLANAdapter("alpha", &listener), 1);
        EXPECT_EQ(manager.SelectWLANAdapter("alpha", &listener), 1);
        EXPECT_EQ(drv1.Log(), (Strings{"a.Select(" + PointerText(&listener) + ")"}));
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "alpha");
        EXPECT_STREQ(manager.SelectedWLANAdapterFriendlyName(), "Alpha card");
        EXPECT_TRUE(listener.lines.empty());
    });
}

TEST(AirvaneSelectTest, SwitchingUnselectsTheOldAdapterFirst) {
    WithManager([](CAirvane& manager, const CDriverControl& drv1) {
        ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
        EXPECT_EQ(manager.SelectWLANAdapter("charlie", nullptr), 1);
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "charlie");
        EXPECT_EQ(manager.SelectWLANAdapter(nullptr, nullptr),
                  5); // the Unselect result
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
        EXPECT_EQ(drv1.Log(),
                  (Strings{"a.Select(null)", "a.Unselect(null)", "c.Select(null)", "c.Unselect(null)"}));
    });
}

TEST(AirvaneSelectTest, RefusedSelectionLeavesNoneAndExplainsItsError) {
    WithManager([](CAirvane& manager, const CDriverControl& drv1) {
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
    });
}

TEST(AirvaneSelectTest, UnknownNameOnlyDeselects) {
    WithManager([](CAirvane& manager, const CDriverControl& drv1) {
        EXPECT_EQ(manager.SelectWLANAdapter("zulu", nullptr), 0);
        EXPECT_EQ(manager.GetSpecifiqueLastError(), 0u);
        ASSERT_EQ(manager.SelectWLANAdapter("charlie", nullptr), 1);
        EXPECT_EQ(manager.SelectWLANAdapter("zulu", nullptr), 5);
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
        // The last requested name is still charlie's.
        drv1.ClearLog();
        EXPECT_EQ(manager.GetSpecifiqueLastError(), 0u);
        EXPECT_EQ(drv1.Log(), (Strings{"c.GetSpecifiqueLastError()"}));
    });
}

TEST(AirvaneSelectTest, RequestsGoToTheSelectedAdapterOnly) {
    WithManager([](CAirvane& manager, const CDriverControl& drv1) {
        CWLANProfil profile("net");
        auto state = std::make_unique<CWLANState>();
        auto* const marker = reinterpret_cast<IWLANSecureCapabilities*>(&profile);
        IWLANSecureCapabilities* capabilities = marker;
        // Without selection nothing is forwarded, the state is still emptied.
        state->m_count = 3;
        state->m_status = 1;
        EXPECT_EQ(manager.GetSpecifiqueLastError(), 0u);
        EXPECT_EQ(manager.GetGeneriqueLastError(), WLAN_ERROR_NONE);
        EXPECT_EQ(manager.Connect(profile, nullptr), 0);
        EXPECT_EQ(manager.Disconnect(nullptr), 0);
        EXPECT_EQ(manager.GetNetworkState(*state, nullptr), 0);
        EXPECT_EQ(state->m_count, 0u);
        EXPECT_EQ(state->m_status, CWLANState::kResetStatus);
        EXPECT_EQ(manager.IsSecureMethodSupported(WLAN_SECURE_WEP, &capabilities), 0);
        EXPECT_EQ(capabilities, marker);
        EXPECT_EQ(manager.SelectedWLANAdapterFriendlyName(), nullptr);
        EXPECT_TRUE(drv1.Log().empty());

        ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
        drv1.Set("a", "CONNECT", "7");
        drv1.Set("a", "DISCONNECT", "8");
        drv1.Set("a", "STATE", "9");
        drv1.Set("a", "SECURE", "6");
        drv1.Set("a", "NETCOUNT", "2");
        drv1.ClearLog();
        stRecordingListener listener;
        const std::string l = PointerText(&listener);
        EXPECT_EQ(manager.Connect(profile, &listener), 7);
        EXPECT_EQ(manager.Disconnect(nullptr), 8);
        state->m_count = 5;
        state->m_status = 1;
        EXPECT_EQ(manager.GetNetworkState(*state, &listener), 9);
        EXPECT_EQ(state->m_count, 2u);
        capabilities = nullptr;
        EXPECT_EQ(manager.IsSecureMethodSupported(WLAN_SECURE_WPAPSK, &capabilities), 6);
        EXPECT_EQ(drv1.Log(),
                  (Strings{"a.Connect(" + PointerText(&profile) + "," + l + ")", "a.Disconnect(null)",
                           // The state arrives emptied.
                           "a.GetNetworkState(" + PointerText(state.get()) + "," + l + ",count=0,status=4)",
                           "a.IsSecureMethodSupported(4," + PointerText(&capabilities) + ")"}));
        EXPECT_TRUE(listener.lines.empty());
    });
}

TEST(AirvaneSelectTest, ErrorsComeFromTheLastRequestedAdapterOnlyWhenNothingIsSelected) {
    WithManager([](CAirvane& manager, const CDriverControl& drv1) {
        // The listing drops the selection of an absent adapter: errors still come
        // from it.
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
    });
}

} // namespace
