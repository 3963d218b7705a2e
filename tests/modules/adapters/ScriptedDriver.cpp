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

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <unistd.h>

namespace {

std::string PointerText(const void* pointer) {
    if (pointer == nullptr) {
        return "null";
    }
    char text[32];
    std::snprintf(text, sizeof(text), "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pointer)));
    return text;
}

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

int ToInt(const char* value) {
    return value != nullptr ? std::atoi(value) : 0;
}

class CScriptedAdapter final : public IWLANAdapter {
public:
    explicit CScriptedAdapter(const std::string& id)
        : m_id(id), m_name(id), m_friendlyName("Friendly " + id) {}

    void Set(const std::string& key, const char* value) {
        const std::string text = value != nullptr ? value : "";
        if (key == "NAME") {
            m_name = text;
            m_nullName = false;
        } else if (key == "NULLNAME") {
            m_nullName = ToInt(value) != 0;
        } else if (key == "NAMESEQ") {
            m_nameSequence.clear();
            std::size_t start = 0;
            while (start <= text.size()) {
                const std::size_t bar = text.find('|', start);
                const std::size_t end = bar == std::string::npos ? text.size() : bar;
                m_nameSequence.push_back(text.substr(start, end - start));
                start = end + 1;
            }
        } else if (key == "FRIENDLY") {
            m_friendlyName = text;
        } else if (key == "PRECONFIGURED") {
            m_preconfigured = ToInt(value);
        } else if (key == "PRECONFIGURE") {
            m_preconfigureResult = ToInt(value);
        } else if (key == "HARDWARE") {
            m_hardware = ToInt(value);
        } else if (key == "SELECT") {
            m_select = ToInt(value);
        } else if (key == "UNSELECT") {
            m_unselect = ToInt(value);
        } else if (key == "CONNECT") {
            m_connect = ToInt(value);
        } else if (key == "DISCONNECT") {
            m_disconnect = ToInt(value);
        } else if (key == "STATE") {
            m_state = ToInt(value);
        } else if (key == "SECURE") {
            m_secure = ToInt(value);
        } else if (key == "SPECERR") {
            m_specificError = static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
        } else if (key == "GENERR") {
            m_genericError = static_cast<en_WLANLastError>(ToInt(value));
        } else if (key == "INFO") {
            m_info = text;
            m_hasInfo = true;
        } else if (key == "NETCOUNT") {
            m_networkCount = ToInt(value);
        }
    }

    int IsPreconfigured() override {
        Call("IsPreconfigured()");
        return m_preconfigured;
    }
    int Preconfigure(IWLANListener* listener) override {
        Call("Preconfigure(" + PointerText(listener) + ")");
        if (m_preconfigureResult != 0) {
            m_preconfigured = 1;
        }
        return m_preconfigureResult;
    }
    int Reserved() override {
        Call("Reserved()");
        return 0;
    }
    int Select(IWLANListener* listener) override {
        Call("Select(" + PointerText(listener) + ")");
        return m_select;
    }
    int Unselect(IWLANListener* listener) override {
        Call("Unselect(" + PointerText(listener) + ")");
        return m_unselect;
    }
    int Connect(CWLANProfil& profile, IWLANListener* listener) override {
        Call("Connect(" + PointerText(&profile) + "," + PointerText(listener) + ")");
        return m_connect;
    }
    int Disconnect(IWLANListener* listener) override {
        Call("Disconnect(" + PointerText(listener) + ")");
        return m_disconnect;
    }
    int GetNetworkState(CWLANState& state, IWLANListener* listener) override {
        // Shows what the state held on entry: the manager empties it before the call.
        Call("GetNetworkState(" + PointerText(&state) + "," + PointerText(listener) +
             ",count=" + std::to_string(state.m_count) + ",status=" + std::to_string(state.m_status) + ")");
        if (m_networkCount >= 0) {
            state.m_count = static_cast<std::uint32_t>(m_networkCount);
        }
        return m_state;
    }
    int IsHardwareAvailable() override {
        Call("IsHardwareAvailable()");
        return m_hardware;
    }
    const char* GetAdapterName() override {
        Call("GetAdapterName()");
        if (!m_nameSequence.empty()) {
            m_returnedName = m_nameSequence.front();
            m_nameSequence.pop_front();
            return m_returnedName == "~" ? nullptr : m_returnedName.c_str();
        }
        if (m_nullName) {
            return nullptr;
        }
        m_returnedName = m_name;
        return m_returnedName.c_str();
    }
    const char* GetFriendlyName() override {
        Call("GetFriendlyName()");
        return m_friendlyName.c_str();
    }
    std::uint32_t GetSpecifiqueLastError() override {
        Call("GetSpecifiqueLastError()");
        return m_specificError;
    }
    en_WLANLastError GetGeneriqueLastError() override {
        Call("GetGeneriqueLastError()");
        return m_genericError;
    }
    int IsSecureMethodSupported(enWLANSecureMethodUID uid, IWLANSecureCapabilities** capabilities) override {
        Call("IsSecureMethodSupported(" + std::to_string(static_cast<int>(uid)) + "," +
             PointerText(capabilities) + ")");
        return m_secure;
    }
    int GetAdapterInfo(unsigned char* block, std::uint32_t* length) override {
        bool zeroed = true;
        for (int i = 0; i < 10; ++i) {
            zeroed = zeroed && block[i] == 0;
        }
        Call("GetAdapterInfo(length=" + std::to_string(*length) + ",zeroed=" + (zeroed ? "1" : "0") + ")");
        if (m_hasInfo) {
            const std::size_t count = m_info.size() < kAdapterInfoBytes ? m_info.size() : kAdapterInfoBytes;
            std::memcpy(block, m_info.data(), count);
            *length = static_cast<std::uint32_t>(count);
        }
        return 1;
    }

private:
    void Call(const std::string& operation) { Log(m_id + "." + operation); }

    std::string m_id;
    std::string m_name;
    bool m_nullName = false;
    std::deque<std::string> m_nameSequence;
    std::string m_returnedName;
    std::string m_friendlyName;
    int m_preconfigured = 1;
    int m_preconfigureResult = 1;
    int m_hardware = 1;
    int m_select = 1;
    int m_unselect = 1;
    int m_connect = 1;
    int m_disconnect = 1;
    int m_state = 1;
    int m_secure = 1;
    std::uint32_t m_specificError = 0;
    en_WLANLastError m_genericError = WLAN_ERROR_NONE;
    std::string m_info;
    bool m_hasInfo = false;
    int m_networkCount = -1;
};

CScriptedAdapter* FindOrCreate(const std::string& id, bool& created) {
    created = false;
    CScriptedAdapter*& adapter = g_state->adapters[id];
    if (adapter == nullptr) {
        adapter = new CScriptedAdapter(id);
        created = true;
    }
    return adapter;
}

// Attribute of a DEVICE element, read from the records the way a plug-in does.
const char* FindAttribute(const stXMLNode* node, const char* name) {
    for (const stXMLAttribute* attribute = node->attributes; attribute != nullptr;
         attribute = attribute->next) {
        if (attribute->name != nullptr && std::strcmp(attribute->name, name) == 0) {
            return attribute->value;
        }
    }
    return nullptr;
}

// Marks the start of process exit (module static objects go before the library's).
struct stExitWatch {
    stExitWatch() = default;
    stExitWatch(const stExitWatch&) = delete;
    stExitWatch& operator=(const stExitWatch&) = delete;
    ~stExitWatch() { g_state->exiting = true; }
} g_exitWatch;

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
    const char* id = FindAttribute(device, "ID");
    if (id == nullptr) {
        id = FindAttribute(device, "HARDWAREID");
    }
    const std::string key = id != nullptr ? id : "device";
    Log("WLAN_GetAdapter(" + key + ")");
    const char* decline = FindAttribute(device, "DECLINE");
    if (decline != nullptr && ToInt(decline) != 0) {
        return nullptr;
    }
    bool created = false;
    CScriptedAdapter* adapter = FindOrCreate(key, created);
    if (created) {
        for (const stXMLAttribute* attribute = device->attributes; attribute != nullptr;
             attribute = attribute->next) {
            if (attribute->name != nullptr) {
                adapter->Set(attribute->name, attribute->value);
            }
        }
    }
    return adapter;
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
    bool created = false;
    FindOrCreate(id, created)->Set(key, value);
}

// Queues an adapter (made if needed) for the next WLAN_GetAdapter(null) call.
AIRVANE_PLUGIN_EXPORT void TestDriverQueue(const char* id) {
    bool created = false;
    g_state->discovery.push_back(FindOrCreate(id, created));
}

// The adapter object with this ID, or null.
AIRVANE_PLUGIN_EXPORT IWLANAdapter* TestDriverAdapter(const char* id) {
    const auto found = g_state->adapters.find(id);
    return found != g_state->adapters.end() ? found->second : nullptr;
}
