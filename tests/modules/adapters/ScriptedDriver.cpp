// Adapter driver double for the manager's tests. The same source is built under several
// module names; each copy keeps its own adapters and one ordered log of every call its
// adapters and its entry point receive.
//
// An adapter is scripted by the attributes of the DEVICE element it is made for (the test
// writes them into the configuration), or at run time through TestDriverSet:
//   ID           identifier used in the log (default: HARDWAREID, else "device"); a DEVICE
//                with the ID of an existing adapter gets that same object back
//   DECLINE="1"  WLAN_GetAdapter declines the device (returns null)
//   NAME         name reported by GetAdapterName (default: the ID)
//   NULLNAME="1" GetAdapterName returns null
//   NAMESEQ      names returned by the next calls, one per call, separated by '|'
//                ("~" stands for null); afterwards NAME/NULLNAME apply again
//   FRIENDLY     friendly name (default "Friendly " + ID)
//   PRECONFIGURED, PRECONFIGURE, HARDWARE, SELECT, UNSELECT, CONNECT, DISCONNECT, STATE,
//   SECURE       results of the operations (default 1); a successful Preconfigure makes
//                IsPreconfigured give 1 afterwards
//   SPECERR, GENERR  last error codes (default 0)
//   INFO         text written into the information block by GetAdapterInfo, whose length
//                becomes the text's length (default: block and length left alone)
//   NETCOUNT     network count GetNetworkState writes into the state (default: untouched)
//   THROW        name of an operation (or "WLAN_GetAdapter") that throws after it is logged
//
// Discovery: WLAN_GetAdapter(null) hands out the adapters queued with TestDriverQueue, one
// per call, and null once the queue is empty.
//
// Every adapter call after the module's static objects started going away at process exit
// ends the process with status 97, so a test can prove that nothing is called then.

#include "airvane/Export.h"
#include "airvane/manager/WLANAdapter.h"
#include "airvane/security/WLANState.h"
#include "airvane/xml/XMLTree.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

using airvane::test::PointerText;

class CScriptedAdapter;

struct stDriverState {
    std::string log;
    std::map<std::string, CScriptedAdapter*> adapters;
    std::deque<CScriptedAdapter*> discovery;
    bool exiting = false;
};

// Plug-in objects stay valid until the process ends, so the state is never released.
stDriverState* g_state = new stDriverState;

void Log(const std::string& line) {
    if (g_state->exiting) {
        std::fprintf(stderr, "adapter call at exit: %s\n", line.c_str());
        std::fflush(stderr);
        ::_exit(97);
    }
    g_state->log += line;
    g_state->log += '\n';
}

class CScriptedAdapter final : public IWLANAdapter {
public:
    explicit CScriptedAdapter(const std::string& id) : m_id(id) {
        m_text = {{"NAME", id}, {"FRIENDLY", "Friendly " + id}};
    }

    // Texts are kept as given; NAMESEQ is split at '|'; every other key is a number.
    void Set(const std::string& key, const char* value) {
        const std::string text = value != nullptr ? value : "";
        m_text[key] = text;
        m_number[key] = std::strtol(text.c_str(), nullptr, 10);
        if (key == "NAME") {
            m_number["NULLNAME"] = 0;
        } else if (key == "NAMESEQ") {
            m_nameSequence.clear();
            for (std::size_t start = 0; start <= text.size();) {
                const std::size_t bar = std::min(text.find('|', start), text.size());
                m_nameSequence.push_back(text.substr(start, bar - start));
                start = bar + 1;
            }
        }
    }

    int IsPreconfigured() override { return Call("IsPreconfigured()", "PRECONFIGURED"); }
    int Preconfigure(IWLANListener* listener) override {
        const int result = Call("Preconfigure(" + PointerText(listener) + ")", "PRECONFIGURE");
        if (result != 0) {
            m_number["PRECONFIGURED"] = 1;
        }
        return result;
    }
    int Select(IWLANListener* listener) override {
        return Call("Select(" + PointerText(listener) + ")", "SELECT");
    }
    int Unselect(IWLANListener* listener) override {
        return Call("Unselect(" + PointerText(listener) + ")", "UNSELECT");
    }
    int Connect(CWLANProfil& profile, IWLANListener* listener) override {
        return Call("Connect(" + PointerText(&profile) + "," + PointerText(listener) + ")", "CONNECT");
    }
    int Disconnect(IWLANListener* listener) override {
        return Call("Disconnect(" + PointerText(listener) + ")", "DISCONNECT");
    }
    int GetNetworkState(CWLANState& state, IWLANListener* listener) override {
        // Shows what the state held on entry: the manager empties it before the call.
        const int result = Call("GetNetworkState(" + PointerText(&state) + "," + PointerText(listener) +
                                    ",count=" + std::to_string(state.m_count) +
                                    ",status=" + std::to_string(state.m_status) + ")",
                                "STATE");
        if (m_number.count("NETCOUNT") != 0) {
            state.m_count = static_cast<std::uint32_t>(m_number["NETCOUNT"]);
        }
        return result;
    }
    int IsHardwareAvailable() override { return Call("IsHardwareAvailable()", "HARDWARE"); }
    const char* GetAdapterName() override {
        Call("GetAdapterName()", "");
        if (!m_nameSequence.empty()) {
            m_returnedName = m_nameSequence.front();
            m_nameSequence.pop_front();
            return m_returnedName == "~" ? nullptr : m_returnedName.c_str();
        }
        m_returnedName = m_text["NAME"];
        return m_number["NULLNAME"] != 0 ? nullptr : m_returnedName.c_str();
    }
    const char* GetFriendlyName() override {
        Call("GetFriendlyName()", "");
        return m_text["FRIENDLY"].c_str();
    }
    std::uint32_t GetSpecifiqueLastError() override {
        return static_cast<std::uint32_t>(Call("GetSpecifiqueLastError()", "SPECERR", 0));
    }
    en_WLANLastError GetGeneriqueLastError() override {
        return static_cast<en_WLANLastError>(Call("GetGeneriqueLastError()", "GENERR", 0));
    }
    int IsSecureMethodSupported(enWLANSecureMethodUID uid, IWLANSecureCapabilities** capabilities) override {
        return Call("IsSecureMethodSupported(" + std::to_string(static_cast<int>(uid)) + "," +
                        PointerText(capabilities) + ")",
                    "SECURE");
    }
    int GetAdapterInfo(unsigned char* block, std::uint32_t* length) override {
        const bool zeroed = std::all_of(block, block + 10, [](unsigned char byte) { return byte == 0; });
        Call("GetAdapterInfo(length=" + std::to_string(*length) + ",zeroed=" + (zeroed ? "1" : "0") + ")",
             "");
        if (m_text.count("INFO") != 0) {
            const std::string& info = m_text["INFO"];
            const std::size_t count = std::min<std::size_t>(info.size(), kAdapterInfoBytes);
            std::copy_n(info.begin(), count, block);
            *length = static_cast<std::uint32_t>(count);
        }
        return 1;
    }

private:
    // Logs the call and returns the scripted result of `key`.
    int Call(const std::string& operation, const std::string& key, int fallback = 1) {
        Log(m_id + "." + operation);
        const auto thrown = m_text.find("THROW");
        if (thrown != m_text.end() &&
            operation.compare(0, thrown->second.size() + 1, thrown->second + "(") == 0) {
            throw std::runtime_error(operation);
        }
        const auto found = m_number.find(key);
        return found != m_number.end() ? static_cast<int>(found->second) : fallback;
    }

    std::string m_id;
    std::map<std::string, std::string> m_text;
    std::map<std::string, long> m_number;
    std::deque<std::string> m_nameSequence;
    std::string m_returnedName;
};

CScriptedAdapter* FindOrCreate(const std::string& id) {
    CScriptedAdapter*& adapter = g_state->adapters[id];
    if (adapter == nullptr) {
        adapter = new CScriptedAdapter(id);
    }
    return adapter;
}

// Marks the start of process exit (module static objects and exit handlers go before the
// library's objects).
[[maybe_unused]] const int g_exitWatch = std::atexit([] { g_state->exiting = true; });

} // namespace

AIRVANE_PLUGIN_EXPORT IWLANAdapter* WLAN_GetAdapter(stXMLNode* device) {
    if (device == nullptr) {
        Log("WLAN_GetAdapter(null)");
        if (g_state->discovery.empty()) {
            return nullptr;
        }
        CScriptedAdapter* adapter = g_state->discovery.front();
        g_state->discovery.pop_front();
        return adapter;
    }
    // The DEVICE's attributes, read from the records the way a plug-in does.
    std::map<std::string, const char*> script;
    for (const stXMLAttribute* attribute = device->attributes; attribute != nullptr;
         attribute = attribute->next) {
        if (attribute->name != nullptr) {
            script.emplace(attribute->name, attribute->value);
        }
    }
    const auto attribute = [&script](const char* name) {
        const auto found = script.find(name);
        return found != script.end() ? found->second : nullptr;
    };
    const char* id = attribute("ID") != nullptr ? attribute("ID") : attribute("HARDWAREID");
    const std::string key = id != nullptr ? id : "device";
    Log("WLAN_GetAdapter(" + key + ")");
    if (attribute("THROW") != nullptr && std::strcmp(attribute("THROW"), "WLAN_GetAdapter") == 0) {
        throw std::runtime_error("WLAN_GetAdapter");
    }
    if (attribute("DECLINE") != nullptr && std::atoi(attribute("DECLINE")) != 0) {
        return nullptr;
    }
    if (g_state->adapters.count(key) == 0) {
        for (const auto& [name, value] : script) {
            FindOrCreate(key)->Set(name, value);
        }
    }
    return FindOrCreate(key);
}

// The log, one call per line, each ending in a line feed.
AIRVANE_PLUGIN_EXPORT const char* TestDriverLog() {
    return g_state->log.c_str();
}

AIRVANE_PLUGIN_EXPORT void TestDriverClearLog() {
    g_state->log.clear();
}

// Makes an adapter (if there is none with this ID yet) and sets one of its script keys.
AIRVANE_PLUGIN_EXPORT void TestDriverSet(const char* id, const char* key, const char* value) {
    FindOrCreate(id)->Set(key, value);
}

// Queues an adapter (made if needed) for the next WLAN_GetAdapter(null) call.
AIRVANE_PLUGIN_EXPORT void TestDriverQueue(const char* id) {
    g_state->discovery.push_back(FindOrCreate(id));
}
