#include "airvane/security/WPASecureMethod.h"

#include "airvane/platform/internal/LazyModule.h"
#include "airvane/wpa_ie/internal/WPAIECodec.h"

#include <new>

namespace {

// The supplicant stub, loaded on first use; its release routine is looked up with it.
airvane::platform::CLazyModule<WPAContextLoadFn> g_stub(airvane::platform::IDS_WPA_MODULE,
                                                        airvane::platform::IDS_WPA_LOAD_EXPORT);
WPAContextFreeFn g_contextFree = nullptr;

// Raw context states kept as they are; anything else becomes 0.
constexpr std::int32_t kFirstKnownState = 1;
constexpr std::int32_t kLastKnownState = 6;

// Commands sent to the context when the link status changes.
enum enContextCommand : std::int32_t {
    COMMAND_START = 0,
    COMMAND_LINK_DOWN = 1,
    COMMAND_LINK_UP = 3,
    COMMAND_FIRST = 4
};

} // namespace

CWLANWPAGenSecureMethod::CWLANWPAGenSecureMethod(enWLANSecureMethodUID uid)
    : m_uid(uid), m_lastState(), m_context(nullptr) {}

CWLANWPAGenSecureMethod::CWLANWPAGenSecureMethod(const CWLANWPAGenSecureMethod& other)
    : IWLANSecureMethod(other), m_uid(other.m_uid), m_lastState(other.m_lastState),
      m_context(other.m_context) {
    if (m_context != nullptr) {
        ++m_context->refCount;
        ++m_context->holders;
    }
}

CWLANWPAGenSecureMethod& CWLANWPAGenSecureMethod::operator=(const CWLANWPAGenSecureMethod& other) {
    if (this == &other) {
        return *this;
    }
    // Share first, then let go: when both objects hold the same record it must not drop
    // to zero in between.
    stWPAContextRef* const shared = other.m_context;
    if (shared != nullptr) {
        ++shared->refCount;
        ++shared->holders;
    }
    ReleaseRecord();
    IWLANSecureMethod::operator=(other);
    m_uid = other.m_uid;
    m_lastState = other.m_lastState;
    m_context = shared;
    return *this;
}

CWLANWPAGenSecureMethod::~CWLANWPAGenSecureMethod() {
    ReleaseRecord();
}

void CWLANWPAGenSecureMethod::ReleaseRecord() {
    stWPAContextRef* const record = m_context;
    if (record == nullptr) {
        return;
    }
    m_context = nullptr;
    --record->refCount;
    if (record->refCount == 0 && record->context != nullptr) {
        if (g_contextFree != nullptr) {
            g_contextFree(record->context);
        }
        record->context = nullptr;
    }
    --record->holders;
    if (record->holders <= 0) {
        delete record;
    }
}

enWLANSecureMethodUID CWLANWPAGenSecureMethod::GetSecureMethodUID() const {
    return m_uid;
}

IWLANSecureMethodState* CWLANWPAGenSecureMethod::BuildSecureMethodState() const {
    if (m_context == nullptr || m_context->context == nullptr) {
        return nullptr;
    }
    std::int32_t raw = m_context->context->GetState();
    if (raw < kFirstKnownState || raw > kLastKnownState) {
        raw = CWLANWPAGenSecureMethodState::WPA_STATE_UNKNOWN;
    }
    return new (std::nothrow)
        CWLANWPAGenSecureMethodState(m_uid, static_cast<CWLANWPAGenSecureMethodState::WpaGenState>(raw));
}

void CWLANWPAGenSecureMethod::WPARunContext(const CWLANState& state, bool first, bool force) {
    if (m_context == nullptr || m_context->context == nullptr) {
        return;
    }
    IWPAStubContext* const context = m_context->context;
    if (first) {
        context->Command(COMMAND_FIRST);
    }
    const std::int32_t previous = m_lastState.m_status;
    if (state.m_status == WLAN_LINK_ASSOCIATED) {
        if (previous != WLAN_LINK_ASSOCIATED || force) {
            context->Command(COMMAND_LINK_UP);
            context->Command(COMMAND_START);
        }
    } else if (state.m_status == WLAN_LINK_NOT_ASSOCIATED) {
        if (previous != WLAN_LINK_NOT_ASSOCIATED) {
            context->Command(COMMAND_LINK_DOWN);
        }
    }
    m_lastState = state;
    context->Run();
}

void CWLANWPAGenSecureMethod::WPAReleaseContext() {
    if (m_context == nullptr || g_contextFree == nullptr) {
        return;
    }
    if (m_context->context != nullptr) {
        g_contextFree(m_context->context);
    }
    // The record stays attached to every clone: none of them can load a context again.
    m_context->context = nullptr;
    m_context->refCount = 0;
}

void CWLANWPAGenSecureMethod::LoadWPADll() {
    if (g_stub.Loaded() == nullptr && g_stub.Main() != nullptr) {
        g_contextFree = g_stub.Function<WPAContextFreeFn>(airvane::platform::IDS_WPA_FREE_EXPORT);
    }
}

bool CWLANWPAGenSecureMethod::IsWPAContextLoadResolved() {
    return g_stub.Loaded() != nullptr;
}

bool CWLANWPAGenSecureMethod::HasContextRecord() const {
    return m_context != nullptr;
}

int CWLANWPAGenSecureMethod::AttachNewContext(const CWLANState& state, const char* networkBlock,
                                              IWpaAdapter* adapter) {
    const WPAContextLoadFn contextLoad = g_stub.Loaded();
    if (contextLoad == nullptr) {
        return 0;
    }
    stWPAContextRef* const record = new (std::nothrow) stWPAContextRef{0, nullptr, 0};
    if (record == nullptr) {
        return 0;
    }
    IWPAStubContext* const context = contextLoad(networkBlock, adapter);
    if (context == nullptr) {
        delete record;
        return 0;
    }
    record->context = context;
    m_lastState = state;
    record->refCount = 1;
    record->holders = 1;
    m_context = record;
    return 1;
}

int CWLANWPAGenSecureMethod::WPAParseIEinfo(const unsigned char* ie, unsigned int length,
                                            unsigned long& flags) {
    return airvane::wpa_ie::Parse(ie, length, flags);
}

int CWLANWPAGenSecureMethod::WPAGenerateIEinfo(unsigned long flags, unsigned char* buffer,
                                               unsigned int bufferLength) {
    return airvane::wpa_ie::Generate(flags, buffer, bufferLength);
}
