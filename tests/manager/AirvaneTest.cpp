#include "airvane/manager/Airvane.h"

#include "airvane/platform/Module.h"
#include "airvane/security/WLANProfil.h"
#include "airvane/security/WLANState.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

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
using airvane::test::RunInChild;
using airvane::test::WriteFile;
using Strings = std::vector<std::string>;

// Listener that records every trace line; an optional hook runs inside each Trace call.
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

// Reaches the control functions of one scripted driver module (drv1.dll, ...), loaded by the
// same name as the manager loads it, so both see the same module.
class CDriverControl {
public:
    explicit CDriverControl(const char* module) : m_module(airvane::platform::LoadModule(module)) {
        EXPECT_NE(m_module, nullptr) << "cannot load " << module;
    }
    // Calls recorded so far, one entry per call, in order.
    Strings Log() const {
        Strings calls;
        std::istringstream text(Export<const char* (*)()>("TestDriverLog")());
        for (std::string line; std::getline(text, line);) {
            calls.push_back(line);
        }
        return calls;
    }
    void ClearLog() const { Export<void (*)()>("TestDriverClearLog")(); }
    void Set(const char* id, const char* key, const char* value) const {
        Export<void (*)(const char*, const char*, const char*)>("TestDriverSet")(id, key, value);
    }
    void Queue(const char* id) const { Export<void (*)(const char*)>("TestDriverQueue")(id); }

private:
    template <typename Function> Function Export(const char* name) const {
        void* address = airvane::platform::GetModuleExport(m_module, name);
        EXPECT_NE(address, nullptr) << "missing export " << name;
        Function function = nullptr;
        std::memcpy(&function, &address, sizeof(function));
        return function;
    }

    airvane::platform::ModuleHandle m_module;
};

// Pointer as the scripted driver writes it in its log ("null" or "0x..." in hex).
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

Strings Concat(std::initializer_list<Strings> parts) {
    Strings all;
    for (const Strings& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// Calls adapter `id` receives, written as blank-separated operations ("Select(null) ...").
Strings Calls(const std::string& id, const std::string& operations) {
    Strings calls;
    std::istringstream text(operations);
    for (std::string operation; text >> operation;) {
        calls.push_back(id + "." + operation);
    }
    return calls;
}

// Recurring call sequences: the manager asks a name twice when it registers or re-keys an
// adapter; a usable adapter is listed with its name, friendly name and information block.
const std::string kNamedTwice = "GetAdapterName() GetAdapterName() ";
const std::string kDetails = "GetFriendlyName() GetAdapterInfo(length=10,zeroed=1) ";
const std::string kListed = "IsHardwareAvailable() GetAdapterName() " + kDetails;

// Calls a driver receives when the manager registers the adapter of DEVICE `id`.
Strings Registration(const std::string& id) {
    return Concat({{"WLAN_GetAdapter(" + id + ")"}, Calls(id, kNamedTwice)});
}

// Runs `body` in a child process whose current directory is a fresh folder holding
// WLANInterfaces.xml with `configuration` (no file when it is empty), and expects the child to
// end without test failure. The manager is built once per process, so every scenario needs its
// own. The folder belongs to the parent, so a child may also leave through exit().
void ExpectInChild(const std::string& configuration, const std::function<void()>& body) {
    CTempDir folder;
    if (!configuration.empty()) {
        WriteFile(folder.File("WLANInterfaces.xml"), configuration);
    }
    EXPECT_EQ(RunInChild([&]() {
                  airvane::test::CScopedCurrentDir current(folder.Path());
                  body();
                  return 0;
              }),
              0);
}

// Same, with the manager built from `configuration` without listener and drv1's log cleared.
void WithManager(const std::string& configuration,
                 const std::function<void(CAirvane&, const CDriverControl&)>& body) {
    ExpectInChild(configuration, [&]() {
        CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
        const CDriverControl drv1("drv1.dll");
        drv1.ClearLog();
        body(manager, drv1);
    });
}

// Whether a test module is loaded in this process (without loading it).
bool IsLoaded(const std::string& module) {
#if defined(_WIN32)
    return ::GetModuleHandleA(module.c_str()) != nullptr;
#else
    void* handle = ::dlopen((airvane::test::ExecutableDir() + "/" + module).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) {
        ::dlclose(handle);
    }
    return handle != nullptr;
#endif
}

const std::string kTwoModules = Config("<ADAPTER DLL=\"drv1.dll\">\n"
                                       "<DEVICE ID=\"a\" NAME=\"alpha\"/>\n"
                                       "<DEVICE ID=\"b\" NAME=\"beta\"></DEVICE>\n"
                                       "</ADAPTER>\n"
                                       "<ADAPTER DLL=\"drv2.dll\"><DEVICE ID=\"c\"/></ADAPTER>\n");
const Strings kTwoModulesTrace{"Dll loaded : drv1.dll", "DLL : drv1.dll supported adapter : alpha",
                               "DLL : drv1.dll supported adapter : beta", "Dll loaded : drv2.dll",
                               "DLL : drv2.dll supported adapter : c"};
const Strings kTwoModulesDrv1 = Concat({Registration("a"), Registration("b")});
const std::string kDrv3File = Config("<ADAPTER DLL=\"drv3.dll\"><DEVICE ID=\"f\"/></ADAPTER>\n");

// Where the configuration comes from: the file, or a host's access-mode data (then the file is
// ignored), either the worked example or an object without entries.
enum enHost { kNoHost, kWorkedExample, kEmptyHost };

TEST(AirvaneInstanceTest, LoadsModulesTracesAndRegistersDevices) {
    const std::string dev98 = "<DEVICE CLASS=\"NET\" HARDWAREID=\"HW-B\">\n"
                              "<X KITNAME=\"KitB\" OSCODE=\"98\"></X>\n</DEVICE>\n";
    const std::string devXP = "<DEVICE CLASS=\"NET\" HARDWAREID=\"HW-A\">\n"
                              "<X KITNAME=\"KitA\" OSCODE=\"XP;2000\"></X>\n</DEVICE>\n";
    const std::string noOS = "DLL : drv1.dll don't support OS for : \n";
    const std::string longName(300, 'n');
    const std::string cutName(255, 'n');
    const struct {
        const char* name;
        std::string config; // empty: no file
        const char* osVersion;
        enHost host;
        bool listen;
        Strings trace, drv1, drv2, registered, loaded, notLoaded;
        std::function<void(CAirvane&, const CDriverControl&, const CDriverControl&)> more;
    } cases[] = {
        // clang-format off
        {"two modules", kTwoModules, nullptr, kNoHost, true,
         kTwoModulesTrace, kTwoModulesDrv1, Registration("c"), {"alpha", "beta", "c"}, {}, {}, nullptr},
        {"null listener", kTwoModules, nullptr, kNoHost, false,
         {}, kTwoModulesDrv1, Registration("c"), {"alpha", "beta", "c"}, {}, {}, nullptr},
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
         Concat({{"WLAN_GetAdapter(no)"}, Registration("a")}), {}, {"a"}, {"noexport.dll"}, {"drv2.dll"},
         nullptr},
        // Cases under an emulated system version (AIRVANE_OS_VERSION, POSIX backend only).
#if !defined(_WIN32)
        {"devices for other systems",
         Config("<ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"old\"><X KITNAME=\"k\" OSCODE=\"98\"/></DEVICE>"
                "<DEVICE ID=\"new\"><X OSCODE=\" 2000 ; XP \"/></DEVICE>"
                "<DEVICE ID=\"none\"><X OSCODE=\"\"/><Y/></DEVICE></ADAPTER>\n"), "2.5.1.2600", kNoHost, true,
         {"Dll loaded : drv1.dll", noOS + "<DEVICE ID=\"old\">\n<X KITNAME=\"k\" OSCODE=\"98\"></X>\n</DEVICE>\n",
          "DLL : drv1.dll supported adapter : new",
          noOS + "<DEVICE ID=\"none\">\n<X OSCODE=\"\"></X>\n<Y></Y>\n</DEVICE>\n"},
         Registration("new"), {}, {"new"}, {}, {"drv2.dll"}, nullptr},
        // Adapters and devices are registered in reversed order; the first name wins, so drv1's
        // HW-B reaches the module but is not kept.
        {"host data under 98", kDrv3File, "1.4.10.1998", kWorkedExample, true,
         {"Dll loaded : drv2.dll", "DLL : drv2.dll supported adapter : HW-B", "Dll loaded : drv1.dll",
          noOS + devXP},
         Registration("HW-B"), Registration("HW-B"), {"HW-B"}, {}, {"drv3.dll"},
         [](CAirvane& manager, const CDriverControl& drv1, const CDriverControl& drv2) {
             drv1.ClearLog();
             drv2.ClearLog();
             EXPECT_EQ(manager.SelectWLANAdapter("HW-B", nullptr), 1);
             EXPECT_TRUE(drv1.Log().empty());
             EXPECT_EQ(drv2.Log(), (Strings{"HW-B.Select(null)"}));
         }},
        {"host data under XP", kDrv3File, "2.5.1.2600", kWorkedExample, true,
         {"Dll loaded : drv2.dll", "DLL : drv2.dll supported adapter : HW-B", "Dll loaded : drv1.dll",
          noOS + dev98, "DLL : drv1.dll supported adapter : HW-A"},
         Registration("HW-A"), Registration("HW-B"), {"HW-A", "HW-B"}, {}, {"drv3.dll"}, nullptr},
#endif
        // A host object without entries does not fall back to the file.
        {"empty host object", kDrv3File, nullptr, kEmptyHost, true, {}, {}, {}, {}, {},
         {"drv1.dll", "drv2.dll", "drv3.dll"}, nullptr},
        // The second name asked counts, cut to 255 bytes; a null first name ends the
        // registration; empty names are dropped; the first registration of a name wins.
        {"adapter names",
         Config("<ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"d1\" NAMESEQ=\"decoy\" NAME=\"real\"/>"
                "<DEVICE ID=\"d2\" NAMESEQ=\"~\" NAME=\"never\"/><DEVICE ID=\"d3\" NULLNAME=\"1\"/>"
                "<DEVICE ID=\"d4\" NAME=\"\"/><DEVICE ID=\"d5\" NAMESEQ=\"first|~\"/>"
                "<DEVICE ID=\"d6\" NAME=\"real\"/><DEVICE ID=\"l1\" NAME=\"" + longName +
                "\"/><DEVICE ID=\"l2\" NAME=\"" + cutName + "xyz\"/></ADAPTER>\n"), nullptr, kNoHost, true,
         {"Dll loaded : drv1.dll", "DLL : drv1.dll supported adapter : real",
          "DLL : drv1.dll supported adapter : " + cutName},
         Concat({Registration("d1"), {"WLAN_GetAdapter(d2)", "d2.GetAdapterName()", "WLAN_GetAdapter(d3)",
                 "d3.GetAdapterName()"}, Registration("d4"), Registration("d5"), Registration("d6"),
                 Registration("l1"), Registration("l2")}),
         {}, {cutName, "real"}, {}, {"drv2.dll"},
         [&](CAirvane& manager, const CDriverControl& drv1, const CDriverControl&) {
             drv1.ClearLog();
             EXPECT_EQ(manager.SelectWLANAdapter("real", nullptr), 1);
             EXPECT_EQ(manager.SelectWLANAdapter(cutName.c_str(), nullptr), 1);
             EXPECT_EQ(manager.SelectWLANAdapter(longName.c_str(), nullptr), 1);
             EXPECT_EQ(drv1.Log(), (Strings{"d1.Select(null)", "d1.Unselect(null)", "l1.Select(null)",
                                            "l1.Unselect(null)"}));
         }},
        // A module named by two ADAPTER elements is loaded twice but asked once in discovery.
        {"same module twice",
         Config("<ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"a\"/></ADAPTER>\n"
                "<ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"b\"/></ADAPTER>\n"), nullptr, kNoHost, true,
         {"Dll loaded : drv1.dll", "DLL : drv1.dll supported adapter : a", "Dll loaded : drv1.dll",
          "DLL : drv1.dll supported adapter : b"},
         Concat({Registration("a"), Registration("b")}), {}, {"a", "b"}, {}, {"drv2.dll"},
         [](CAirvane& manager, const CDriverControl& drv1, const CDriverControl&) {
             drv1.ClearLog();
             manager.ListWLANAdapter(1, nullptr);
             const Strings log = drv1.Log();
             EXPECT_EQ(std::count(log.begin(), log.end(), "WLAN_GetAdapter(null)"), 1);
         }},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectInChild(c.config, [&]() {
            const airvane::test::CScopedEnv version("AIRVANE_OS_VERSION", c.osVersion);
            AccessModeEntry entries[] = {
                {"KitA", "HW-A", 0, "drv1.dll\"XP;2000\"", nullptr, 7, nullptr, nullptr},
                {"KitB", "HW-B", 0, "drv1.dll\"98\"drv2.dll", nullptr, 7, nullptr, nullptr}};
            CGestionModeAcces host{};
            if (c.host == kWorkedExample) {
                host.m_lists[kAccessModeWifi].entries = entries;
                host.m_lists[kAccessModeWifi].count = 2;
            }
            CGestionModeAcces* modes = c.host == kNoHost ? nullptr : &host;
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
            EXPECT_EQ(Names(manager.ListWLANAdapter(1, nullptr)), c.registered);
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

TEST(AirvaneInstanceTest, CopiesShareAdaptersButNotTheSelection) {
    WithManager(kTwoModules, [](CAirvane& manager, const CDriverControl& drv1) {
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
    // The driver ends the process with status 97 when an adapter is called at exit.
    ExpectInChild(kTwoModules, []() {
        CAirvane& manager = CAirvane::Instance(nullptr, nullptr);
        manager.SelectWLANAdapter("alpha", nullptr);
        manager.ListWLANAdapter(0, nullptr);
        std::exit(0); // static objects go, the manager among them
    });
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
    const std::string prepare = " Preconfigure(" + listener + ") ";
    return Concat(
        {Calls("a", "IsPreconfigured() " + kListed),
         Calls("b", "IsPreconfigured()" + (bravoPrepared ? std::string(" ") : prepare) + kListed),
         Calls("c", "IsPreconfigured() IsHardwareAvailable()"), Calls("d", "IsPreconfigured()" + prepare),
         // Re-keying asks every name twice.
         Calls("a", kNamedTwice), Calls("b", kNamedTwice), Calls("c", kNamedTwice), Calls("d", kNamedTwice)});
}

TEST(AirvaneListTest, PreparesRegisteredAdaptersInKeyOrderAndListsThePresentOnes) {
    for (const bool listen : {true, false}) {
        SCOPED_TRACE(listen ? "listener" : "null listener");
        WithManager(kFourAdapters, [&](CAirvane& manager, const CDriverControl& drv1) {
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
            // bravo is ready now: no second Preconfigure; same names listed again in the same record.
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

TEST(AirvaneListTest, SelectionEndsWhenTheSelectedAdapterFailsErrorsStillComeFromIt) {
    WithManager(kFourAdapters, [](CAirvane& manager, const CDriverControl& drv1) {
        // Other adapters failing leave the selection alone.
        ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
        manager.ListWLANAdapter(0, nullptr);
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "alpha");
        drv1.Set("a", "HARDWARE", "0"); // device absent
        drv1.Set("a", "SPECERR", "11");
        manager.ListWLANAdapter(0, nullptr);
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
        // With nothing selected, errors come from the adapter last requested.
        EXPECT_EQ(manager.GetSpecifiqueLastError(), 11u);
        drv1.Set("a", "HARDWARE", "1");
        ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
        drv1.Set("a", "PRECONFIGURED", "0"); // preparation fails
        drv1.Set("a", "PRECONFIGURE", "0");
        manager.ListWLANAdapter(0, nullptr);
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
    });
}

TEST(AirvaneListTest, RenamedAdapterIsListedUnderItsNewNameAndReKeyed) {
    WithManager(kFourAdapters, [](CAirvane& manager, const CDriverControl& drv1) {
        ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
        drv1.Set("a", "NAME", "omega");
        stRecordingListener listener;
        // The trace shows the key the adapter was registered under.
        EXPECT_EQ(Names(manager.ListWLANAdapter(0, &listener)), (Strings{"omega", "bravo"}));
        EXPECT_EQ(listener.lines[0], "Hardware available : alpha");
        // The selection keeps the old name, which no longer finds an adapter, for requests
        // and errors alike.
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
    WithManager(config, [](CAirvane& manager, const CDriverControl& drv1) {
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
    WithManager(config, [](CAirvane& manager, const CDriverControl& drv1) {
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
        stRecordingListener listener;
        const std::string l = PointerText(&listener);
        const stListWLANAdapter& list = manager.ListWLANAdapter(1, &listener);
        EXPECT_EQ(
            listener.lines,
            (Strings{"Hardware available : alpha", "Compatible new adapter : n1 found with dll drv1.dll",
                     "Preconfigure failed for new adapter: n2 found with dll drv1.dll",
                     "HW unavailable for compatible new adapter : n2 found with dll drv1.dll",
                     "HW unavailable for compatible new adapter : n3 found with dll drv1.dll",
                     "Compatible new adapter : m1 found with dll drv2.dll"}));
        EXPECT_EQ(Names(list), (Strings{"alpha", "n1", "m1"}));
        // Discovery asks each module for adapters until it gets null; each one is named twice,
        // a new name is prepared and checked.
        const auto found = [](const char* id, const std::string& operations) {
            return Concat({{"WLAN_GetAdapter(null)"}, Calls(id, kNamedTwice + operations)});
        };
        const std::string prepare = "IsPreconfigured() Preconfigure(" + l + ") IsPreconfigured() ";
        const std::string twice = "IsPreconfigured() IsPreconfigured() ";
        const Strings none{"WLAN_GetAdapter(null)"};
        EXPECT_EQ(drv1.Log(), Concat({Calls("a", "IsPreconfigured() " + kListed + kNamedTwice),
                                      found("n1", twice + "IsHardwareAvailable() " + kDetails),
                                      found("n2", prepare), found("n1", ""), found("e", ""), found("dup", ""),
                                      found("n3", twice + "IsHardwareAvailable()"), none}));
        EXPECT_EQ(drv2.Log(), Concat({found("m1", prepare + "IsHardwareAvailable() " + kDetails), none}));
        // New adapters stay registered, usable or not, and are listed as registered ones.
        listener.lines.clear();
        EXPECT_EQ(Names(manager.ListWLANAdapter(0, &listener)), (Strings{"alpha", "m1", "n1"}));
        EXPECT_EQ(listener.lines,
                  (Strings{"Hardware available : alpha", "Hardware available : m1", "Hardware available : n1",
                           "Preconfigure failed for adapter : n2", "Hardware unavailable : n3"}));
    });
}

TEST(AirvaneListTest, ListsAtMost32AdaptersAndTracesTheRest) {
    WithManager(Config("<ADAPTER DLL=\"drv1.dll\"/>"), [](CAirvane& manager, const CDriverControl& drv1) {
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

// alpha accepts (its requests give 7, 8, 9 and 6, its state 2 networks), bravo refuses to be
// selected, charlie reports 5 from Unselect.
const std::string kSelectConfig = Config(
    "<ADAPTER DLL=\"drv1.dll\"><DEVICE ID=\"a\" NAME=\"alpha\" FRIENDLY=\"Alpha card\" "
    "SPECERR=\"11\" GENERR=\"2\" CONNECT=\"7\" DISCONNECT=\"8\" STATE=\"9\" SECURE=\"6\" NETCOUNT=\"2\"/>"
    "<DEVICE ID=\"b\" NAME=\"bravo\" SELECT=\"0\" SPECERR=\"22\" GENERR=\"3\"/>"
    "<DEVICE ID=\"c\" NAME=\"charlie\" UNSELECT=\"5\"/></ADAPTER>");

TEST(AirvaneSelectTest, SelectsOnceAndUnselectsTheOldAdapterFirst) {
    WithManager(kSelectConfig, [](CAirvane& manager, const CDriverControl& drv1) {
        // Null and "" name the empty selection, which is current: nothing is called.
        EXPECT_EQ(manager.SelectWLANAdapter(nullptr, nullptr), 1);
        EXPECT_EQ(manager.SelectWLANAdapter("", nullptr), 1);
        EXPECT_TRUE(drv1.Log().empty());
        stRecordingListener listener;
        EXPECT_EQ(manager.SelectWLANAdapter("alpha", &listener), 1);
        EXPECT_EQ(manager.SelectWLANAdapter("alpha", &listener), 1);
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "alpha");
        EXPECT_STREQ(manager.SelectedWLANAdapterFriendlyName(), "Alpha card");
        EXPECT_EQ(manager.SelectWLANAdapter("charlie", nullptr), 1);
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "charlie");
        EXPECT_EQ(manager.SelectWLANAdapter(nullptr, nullptr), 5); // the Unselect result
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
        EXPECT_EQ(drv1.Log(), (Strings{"a.Select(" + PointerText(&listener) + ")", "a.GetFriendlyName()",
                                       "a.Unselect(null)", "c.Select(null)", "c.Unselect(null)"}));
        EXPECT_TRUE(listener.lines.empty());
    });
}

TEST(AirvaneSelectTest, ErrorsComeFromTheLastAdapterASelectionFound) {
    WithManager(kSelectConfig, [](CAirvane& manager, const CDriverControl& drv1) {
        EXPECT_EQ(manager.SelectWLANAdapter("zulu", nullptr), 0);
        EXPECT_EQ(manager.GetSpecifiqueLastError(), 0u);
        EXPECT_TRUE(drv1.Log().empty());
        // A refused selection leaves none and explains its error.
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
        // An unknown name only deselects; the last name found stays charlie's.
        ASSERT_EQ(manager.SelectWLANAdapter("charlie", nullptr), 1);
        EXPECT_EQ(manager.SelectWLANAdapter("zulu", nullptr), 5);
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
        drv1.ClearLog();
        EXPECT_EQ(manager.GetSpecifiqueLastError(), 0u);
        EXPECT_EQ(drv1.Log(), (Strings{"c.GetSpecifiqueLastError()"}));
    });
}

TEST(AirvaneSelectTest, RequestsGoToTheSelectedAdapterOnly) {
    WithManager(kSelectConfig, [](CAirvane& manager, const CDriverControl& drv1) {
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
        EXPECT_EQ(state->m_status, std::int32_t{CWLANState::kResetStatus}); // a value, not the DLL's variable
        EXPECT_EQ(manager.IsSecureMethodSupported(WLAN_SECURE_WEP, &capabilities), 0);
        EXPECT_EQ(capabilities, marker);
        EXPECT_EQ(manager.SelectedWLANAdapterFriendlyName(), nullptr);
        EXPECT_TRUE(drv1.Log().empty());

        ASSERT_EQ(manager.SelectWLANAdapter("alpha", nullptr), 1);
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

} // namespace
