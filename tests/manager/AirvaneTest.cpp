#include "airvane/manager/Airvane.h"
#include "airvane/Hex.h"
#include "airvane/manager/ListWLANAdapter.h"

#include "airvane/platform/Module.h"
#include "airvane/security/WLANProfil.h"
#include "airvane/security/WLANState.h"
#include "tests/support/CaseFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace {

using airvane::test::PointerText;
using airvane::test::SplitText;
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

// An export of one scripted driver module (drv1.dll, ...), loaded by the same name as the
// manager loads it, so both see the same module.
template <typename Function> Function DriverExport(const std::string& module, const char* name) {
    void* address = airvane::platform::GetModuleExport(airvane::platform::LoadModule(module.c_str()), name);
    EXPECT_NE(address, nullptr) << module << " lacks " << name;
    return reinterpret_cast<Function>(address);
}
// Calls the driver recorded so far, one entry per call, in order.
Strings DriverLog(const std::string& module) {
    return SplitText(DriverExport<const char* (*)()>(module, "TestDriverLog")(), '\n');
}

// Names in a listing, never reading past the record.
Strings Names(const stListWLANAdapter& list) {
    Strings names;
    for (std::uint32_t i = 0; i < list.adapterCount && i < stListWLANAdapter::kMaxAdapters; ++i) {
        names.emplace_back(list.adapterName[i]);
    }
    return names;
}

// Runs `body` in a child process whose current directory is a fresh folder holding
// WLANInterfaces.xml with `configuration` (no file when it is empty), and expects the child to
// end without test failure. The manager is built once per process, so every scenario needs its
// own. The folder belongs to the parent, so a child may also leave through exit().
void ExpectInChild(const std::string& configuration, const std::function<void()>& body) {
    airvane::test::CTempDir folder;
    if (!configuration.empty()) {
        airvane::test::WriteFile(folder.File("WLANInterfaces.xml"), configuration);
    }
    EXPECT_EQ(airvane::test::RunInChild([&]() {
                  airvane::test::CScopedCurrentDir current(folder.Path());
                  body();
                  return 0;
              }),
              0);
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

// A manager scenario (tests/manager/scenarios/*.txt), one statement per line, '#' comments:
//   config <xml>          a line of WLANInterfaces.xml inside the root (no such line: no file)
//   os <p.M.m.b>          the system version the manager sees (POSIX backend only)
//   host worked-example | host empty   build from a host's access-mode data instead
// Actions, each optionally followed by "-> <result>"; "<L>" passes the recording listener:
//   start [<L>]  list <0|1> [<L>]  select <name|""|<null>> [<L>]  friendly <text|<null>>
//   errors <specific> [<generic>]  disconnect  registered <names...>  set <drv> <id> <KEY=value>
//   queue <drv> <ids...>  connect [<L>]  state [<L>]  secure <method>  exit (ends the process)
// After an action, the lines "trace <text>", "drv1 <call>" and "drv2 <call>" list everything it
// must trace and call, in order ("<L>" is the listener's address, "\n" a line feed); an action
// ending in "any-calls" has its calls left unchecked. Checks: "names <names...>" (all of them) and
// "entry <i> <name>|<friendly>|<info hex>" on the last listing, "selected <name>",
// "loaded <module>", "unloaded <module>", "netstate <count> <status>" on the state of the last
// "state". "registered" lists with discovery, unchecked.
class CScenario {
public:
    explicit CScenario(const std::string& path) {
        std::string body;
        for (std::string line : SplitText(airvane::test::ReadFile(path), '\n')) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (line.rfind("config ", 0) == 0) {
                body += line.substr(7) + "\n";
            } else if (!line.empty() && line[0] != '#') {
                m_lines.push_back(line);
            }
        }
        EXPECT_FALSE(m_lines.empty()) << "no statement in " << path;
        m_config = body.empty() ? ""
                                : "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<WLANInterfaces>\n" +
                                      body + "</WLANInterfaces>\n";
    }

    const std::string& Configuration() const { return m_config; }
    bool EmulatesASystem() const {
        return std::any_of(m_lines.begin(), m_lines.end(),
                           [](const std::string& l) { return l.rfind("os ", 0) == 0; });
    }

    // Runs the scenario in a child process of its own.
    void Run() {
        ExpectInChild(m_config, [this]() {
            for (const std::string& line : m_lines) {
                SCOPED_TRACE(line);
                const std::size_t space = std::min(line.find(' '), line.size());
                Step(line.substr(0, space), line.substr(std::min(space + 1, line.size())));
            }
            Verify();
        });
    }

private:
    // "<L>", "<P>", "<S>" and "<C>" stand for the addresses of the recording listener, the profile,
    // the network state and the capabilities pointer, "\n" for a line feed.
    std::string Expand(std::string text) const {
        const std::pair<std::string, std::string> names[] = {{"<L>", PointerText(&m_listener)},
                                                             {"<P>", PointerText(&m_profile)},
                                                             {"<S>", PointerText(m_state.get())},
                                                             {"<C>", PointerText(&m_capabilities)},
                                                             {"\\n", "\n"}};
        for (const auto& [from, to] : names) {
            for (std::size_t at = text.find(from); at != std::string::npos;
                 at = text.find(from, at + to.size())) {
                text.replace(at, from.size(), to);
            }
        }
        return text;
    }
    IWLANListener* ListenerIf(const std::string& word) { return word == "<L>" ? &m_listener : nullptr; }
    static const char* Text(const std::string& word) { return word == "<null>" ? nullptr : word.c_str(); }

    void Step(const std::string& verb, const std::string& rest) {
        std::istringstream words(rest.substr(0, rest.find("->")));
        Strings args;
        for (std::string word; words >> word;) {
            args.push_back(word == "\"\"" ? "" : word);
        }
        const bool anyCalls = !args.empty() && args.back() == "any-calls";
        if (anyCalls) {
            args.pop_back();
        }
        const std::string a = args.empty() ? "" : args[0];
        // Expectations about the last action.
        if (verb == "trace" || verb == "drv1" || verb == "drv2") {
            m_expected[verb].push_back(Expand(rest));
        } else if (verb == "names") {
            EXPECT_EQ(m_list->adapterCount, args.size());
            EXPECT_EQ(Names(*m_list), args);
        } else if (verb == "entry") { // index, then name, friendly name and information bytes in hex
            const std::size_t i = std::stoul(a);
            // Compared as a copy: the exported record's constant has no definition to bind to.
            ASSERT_LT(i, std::size_t{stListWLANAdapter::kMaxAdapters});
            const std::string info = airvane::hex::Encode(
                m_list->adapterInfo[i],
                std::min<std::size_t>(m_list->adapterInfoLength[i], sizeof(m_list->adapterInfo[i])));
            EXPECT_EQ(std::string(m_list->adapterName[i]) + "|" + m_list->friendlyName[i] + "|" + info,
                      rest.substr(rest.find(' ') + 1));
        } else if (verb == "selected") {
            EXPECT_STREQ(m_manager->SelectedWLANAdapter(), a.c_str());
        } else if (verb == "loaded" || verb == "unloaded") {
            EXPECT_EQ(IsLoaded(a), verb == "loaded") << a;
        } else if (verb == "netstate") { // network count and status of the state
            EXPECT_EQ(m_state->m_count, std::stoul(a));
            EXPECT_EQ(m_state->m_status, std::stoi(args.at(1)));
        } else if (verb == "os") {
            m_os = std::make_unique<airvane::test::CScopedEnv>("AIRVANE_OS_VERSION", a.c_str());
        } else if (verb == "host") {
            m_hostKind = a;
        } else {
            Verify();
            const int result = Act(verb, args, rest);
            if (anyCalls) {
                ClearLogs();
            }
            if (rest.find("->") != std::string::npos) {
                EXPECT_EQ(result, std::stoi(rest.substr(rest.find("->") + 2)));
            }
        }
    }

    // An action, after what the previous one produced was checked; returns its result.
    int Act(const std::string& verb, const Strings& args, const std::string& rest) {
        const auto arg = [&args](std::size_t i) { return i < args.size() ? args[i] : std::string(); };
        if (verb == "start") {
            if (m_hostKind == "worked-example") {
                m_host.m_lists[kAccessModeWifi].entries = m_entries;
                m_host.m_lists[kAccessModeWifi].count = 2;
            }
            m_manager = &CAirvane::Instance(m_hostKind.empty() ? nullptr : &m_host, ListenerIf(arg(0)));
        } else if (verb == "list") {
            const stListWLANAdapter* list =
                &m_manager->ListWLANAdapter(std::stoi(arg(0)), ListenerIf(arg(1)));
            EXPECT_TRUE(m_list == nullptr || m_list == list) << "the same record every time";
            m_list = list;
        } else if (verb == "registered") { // what a discovering listing names; its calls are not checked
            EXPECT_EQ(Names(m_manager->ListWLANAdapter(1, nullptr)), args);
            ClearLogs();
        } else if (verb == "select") {
            return m_manager->SelectWLANAdapter(Text(arg(0)), ListenerIf(arg(1)));
        } else if (verb == "friendly") {
            EXPECT_STREQ(m_manager->SelectedWLANAdapterFriendlyName(), Text(rest));
        } else if (verb == "errors") {
            EXPECT_EQ(m_manager->GetSpecifiqueLastError(), std::stoul(arg(0)));
            if (args.size() > 1) {
                EXPECT_EQ(static_cast<int>(m_manager->GetGeneriqueLastError()), std::stoi(arg(1)));
            }
        } else if (verb == "disconnect") {
            return m_manager->Disconnect(nullptr);
        } else if (verb == "connect") {
            return m_manager->Connect(m_profile, ListenerIf(arg(0)));
        } else if (verb == "state") { // with a state holding something, which the manager empties
            m_state->m_count = 5;
            m_state->m_status = 1;
            return m_manager->GetNetworkState(*m_state, ListenerIf(arg(0)));
        } else if (verb == "secure") { // the pointer the manager passes on stays as it was
            const int result = m_manager->IsSecureMethodSupported(
                static_cast<enWLANSecureMethodUID>(std::stoi(arg(0))), &m_capabilities);
            EXPECT_EQ(m_capabilities, m_marker);
            return result;
        } else if (verb == "exit") {
            std::exit(0); // static objects go, the manager among them
        } else if (verb == "set") {
            const std::string setting = arg(2); // driver, adapter, KEY=value
            DriverExport<void (*)(const char*, const char*, const char*)>(arg(0) + ".dll", "TestDriverSet")(
                arg(1).c_str(), setting.substr(0, setting.find('=')).c_str(),
                setting.substr(setting.find('=') + 1).c_str());
        } else if (verb == "queue") {
            for (std::size_t i = 1; i < args.size(); ++i) {
                DriverExport<void (*)(const char*)>(arg(0) + ".dll", "TestDriverQueue")(args[i].c_str());
            }
        } else {
            ADD_FAILURE() << "unknown action " << verb;
        }
        return -1;
    }

    // Compares the trace and the driver logs with what the scenario expects, then clears them.
    void Verify() {
        EXPECT_EQ(m_listener.lines, m_expected["trace"]);
        for (const char* driver : {"drv1", "drv2"}) {
            const std::string module = std::string(driver) + ".dll";
            if (IsLoaded(module)) {
                EXPECT_EQ(DriverLog(module), m_expected[driver]) << driver;
            } else {
                EXPECT_TRUE(m_expected[driver].empty()) << module << " is not loaded";
            }
        }
        ClearLogs();
        m_listener.lines.clear();
        m_expected.clear();
    }
    // Forgets the driver calls made so far (the trace stays to be checked).
    void ClearLogs() {
        for (const char* module : {"drv1.dll", "drv2.dll"}) {
            if (IsLoaded(module)) {
                DriverExport<void (*)()>(module, "TestDriverClearLog")();
            }
        }
        m_expected.erase("drv1");
        m_expected.erase("drv2");
    }

    std::string m_config;
    Strings m_lines;
    stRecordingListener m_listener;
    std::map<std::string, Strings> m_expected;
    std::unique_ptr<airvane::test::CScopedEnv> m_os;
    std::string m_hostKind;
    AccessModeEntry m_entries[2] = {
        {"KitA", "HW-A", 0, "drv1.dll\"XP;2000\"", nullptr, 7, nullptr, nullptr},
        {"KitB", "HW-B", 0, "drv1.dll\"98\"drv2.dll", nullptr, 7, nullptr, nullptr}};
    CGestionModeAcces m_host{};
    CWLANProfil m_profile{"net"};
    std::unique_ptr<CWLANState> m_state = std::make_unique<CWLANState>();
    // Any recognisable value: the capabilities pointer is only passed on.
    IWLANSecureCapabilities* const m_marker = reinterpret_cast<IWLANSecureCapabilities*>(&m_profile);
    IWLANSecureCapabilities* m_capabilities = m_marker;
    CAirvane* m_manager = nullptr;
    const stListWLANAdapter* m_list = nullptr;
};

// Every scenario of the folder; on Windows not those that emulate a system version, which only
// the POSIX backend can do.
Strings ScenarioNames() {
    Strings names;
    std::error_code error; // an unreadable folder gives no scenario, which the test run reports
    for (const auto& entry : std::filesystem::directory_iterator(AIRVANE_MANAGER_SCENARIOS, error)) {
        if (entry.path().extension() != ".txt") {
            continue;
        }
#if defined(_WIN32)
        if (CScenario(entry.path().string()).EmulatesASystem()) {
            continue;
        }
#endif
        names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class AirvaneScenarioTest : public ::testing::TestWithParam<std::string> {};

TEST_P(AirvaneScenarioTest, Runs) {
    CScenario(AIRVANE_MANAGER_SCENARIOS "/" + GetParam() + ".txt").Run();
}

INSTANTIATE_TEST_SUITE_P(Manager, AirvaneScenarioTest, ::testing::ValuesIn(ScenarioNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// Later and nested calls give the same object and do nothing; copies share the adapters, not the
// selection.
TEST(AirvaneInstanceTest, OneObjectForEveryCallAndCopiesKeepTheirOwnSelection) {
    // Two modules: drv1 with alpha (a) and beta (b), drv2 with one adapter (c).
    ExpectInChild(CScenario(AIRVANE_MANAGER_SCENARIOS "/two_modules.txt").Configuration(), []() {
        stRecordingListener first;
        stRecordingListener other;
        std::vector<CAirvane*> nested;
        first.onTrace = [&](const char*) { nested.push_back(&CAirvane::Instance(nullptr, &other)); };
        CAirvane& manager = CAirvane::Instance(nullptr, &first);
        // A call from inside a trace gets the object under construction.
        EXPECT_EQ(nested, std::vector<CAirvane*>(5, &manager));
        first.onTrace = nullptr;
        EXPECT_EQ(DriverLog("drv1.dll").size(), 6u);
        DriverExport<void (*)()>("drv1.dll", "TestDriverClearLog")();
        CGestionModeAcces modes{};
        EXPECT_EQ(&CAirvane::Instance(&modes, &other), &manager);
        EXPECT_EQ(&CAirvane::Instance(), &manager);
        EXPECT_TRUE(other.lines.empty());
        EXPECT_EQ(first.lines.size(), 5u);
        CAirvane copy(manager);
        CAirvane assigned(manager);
        assigned = copy;
        EXPECT_TRUE(DriverLog("drv1.dll").empty());
        EXPECT_EQ(copy.SelectWLANAdapter("alpha", nullptr), 1);
        EXPECT_STREQ(copy.SelectedWLANAdapter(), "alpha");
        EXPECT_STREQ(manager.SelectedWLANAdapter(), "");
        assigned = copy;
        EXPECT_STREQ(assigned.SelectedWLANAdapter(), "alpha");
        EXPECT_EQ(DriverLog("drv1.dll"), (Strings{"a.Select(null)"}));
    });
}

// A record with the given names (and distinct friendly names and info per position).
std::unique_ptr<stListWLANAdapter> MakeList(const std::vector<std::string>& names) {
    auto list = std::make_unique<stListWLANAdapter>();
    std::memset(static_cast<void*>(list.get()), 0, sizeof(stListWLANAdapter));
    list->adapterCount = static_cast<std::uint32_t>(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::strcpy(list->adapterName[i], names[i].c_str());
        std::strcpy(list->friendlyName[i], ("friendly " + std::to_string(i)).c_str());
        list->adapterInfo[i][0] = static_cast<unsigned char>(i + 1);
        list->adapterInfoLength[i] = static_cast<std::uint32_t>(i + 1);
    }
    return list;
}

TEST(ListWLANAdapterTest, ConstructorSetsOnlyTheCount) {
    alignas(stListWLANAdapter) unsigned char storage[sizeof(stListWLANAdapter)];
    std::memset(storage, 0xAB, sizeof(storage));
    auto* list = new (storage) stListWLANAdapter();
    EXPECT_EQ(list->adapterCount, 0u);
    EXPECT_EQ(std::count(storage + sizeof(list->adapterCount), storage + sizeof(storage), 0xAB),
              static_cast<std::ptrdiff_t>(sizeof(storage) - sizeof(list->adapterCount)));
    list->~stListWLANAdapter();
}

TEST(ListWLANAdapterTest, AssignmentAndCopyTakeAllEntriesWhateverTheCount) {
    auto source = MakeList({"a"});
    std::strcpy(source->adapterName[31], "beyond the count");
    source->adapterInfo[31][254] = 0x5A;
    source->adapterInfoLength[31] = 77;
    auto target = MakeList({"x", "y", "z"});
    *target = *source;
    // The record has no padding (its header checks every offset), so its bytes are its value.
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
    EXPECT_EQ(std::memcmp(target.get(), source.get(), sizeof(stListWLANAdapter)), 0);
    const auto copy = std::make_unique<stListWLANAdapter>(*source);
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
    EXPECT_EQ(std::memcmp(copy.get(), source.get(), sizeof(stListWLANAdapter)), 0);
}

TEST(ListWLANAdapterTest, EqualityAsksEachLeftNameToOccurOnTheRightWithTheSameCount) {
    for (const airvane::test::stCase& c :
         airvane::test::ReadCases(AIRVANE_MANAGER_CASES "/adapter_lists.txt")) {
        const auto left = MakeList(airvane::test::SplitText(c.Get("left"), ' '));
        const auto right = MakeList(airvane::test::SplitText(c.Get("right"), ' '));
        EXPECT_EQ(*left == *right, c.Get("equal") == "yes") << c.name;
        EXPECT_EQ(*left != *right, c.Get("equal") != "yes") << c.name;
    }
}

TEST(ListWLANAdapterTest, EqualityReadsOnlyTheValidNamesWithinTheirSlots) {
    auto left = MakeList({"a", "b"});
    auto right = MakeList({"b", "a"});
    std::strcpy(right->friendlyName[0], "other");
    right->adapterInfo[1][0] = 99;
    right->adapterInfoLength[1] = 200;
    std::strcpy(right->adapterName[2], "not counted");
    EXPECT_TRUE(*left == *right);
    // A name beyond the count is not found.
    right->adapterCount = 3;
    left->adapterCount = 3;
    std::strcpy(left->adapterName[2], "c");
    EXPECT_FALSE(*left == *right);
    // A name filling its slot: the byte after it starts the next name and is not part of it.
    left = MakeList({"x"});
    right = MakeList({"x"});
    std::memset(left->adapterName[0], 'n', stListWLANAdapter::kNameBytes);
    std::memset(right->adapterName[0], 'n', stListWLANAdapter::kNameBytes);
    std::strcpy(left->adapterName[1], "tail-left");
    std::strcpy(right->adapterName[1], "tail-right");
    EXPECT_TRUE(*left == *right);
    right->adapterName[0][255] = '\0';
    EXPECT_FALSE(*left == *right);
    // A damaged count stops at the 32 slots; unused ones are empty on both sides.
    left = MakeList({"a"});
    right = MakeList({"a"});
    left->adapterCount = 1000;
    right->adapterCount = 1000;
    EXPECT_TRUE(*left == *right);
}

} // namespace
