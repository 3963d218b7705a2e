#pragma once

#include "airvane/Export.h"
#include "airvane/security/SecureMethod.h"
#include "airvane/security/WLANState.h"
#include "airvane/security/WPASecureCapabilities.h"
#include "airvane/security/WPASecureMethodState.h"
#include "airvane/security/WPAStubContext.h"

#include <cstdint>

// Supplicant context shared by a WPA method object and its clones.
struct stWPAContextRef {
    std::int32_t refCount;    // method objects holding the record; set to 0 when the context is released
    IWPAStubContext* context; // owned by the stub, released with its free entry point; or null
    // Method objects attached to the record, whatever a release did to refCount: the last
    // one to let go deletes the record, so a released record shared by clones is neither
    // leaked nor deleted twice.
    std::int32_t holders;
};

// Abstract WPA method: holds the shared supplicant context and feeds it the link status
// that the adapter plug-in reports. Virtual slot order: the four of IWLANSecureMethod,
// then WPALoadContext, WPARunContext, WPAReleaseContext.
class AIRVANE_API CWLANWPAGenSecureMethod : public IWLANSecureMethod {
public:
    CWLANWPAGenSecureMethod(const CWLANWPAGenSecureMethod& other);
    CWLANWPAGenSecureMethod& operator=(const CWLANWPAGenSecureMethod& other);

    enWLANSecureMethodUID GetSecureMethodUID() const override;
    IWLANSecureMethod* Clone() const override = 0;
    // New CWLANWPAGenSecureMethodState from the context's state; null without a context.
    IWLANSecureMethodState* BuildSecureMethodState() const override;
    ~CWLANWPAGenSecureMethod() override;

    // Loads a supplicant context for `ssid`; 1 when loaded, else 0.
    virtual int WPALoadContext(const CWLANState& state, const char* ssid, IWpaAdapter* adapter) = 0;
    // Feeds the context the new network state.
    virtual void WPARunContext(const CWLANState& state, bool first, bool force);
    // Ends the context; the (now empty) record stays shared by every clone.
    virtual void WPAReleaseContext();

    // WPA / RSN information element codec (flags WPAIE_* in airvane/wpa_ie/WPAIEFlags.h),
    // kept here for hosts; the codec itself lives in wpa_ie/.
    // Parses one element of `length` bytes and ORs its flags into `flags`; 1 on success,
    // 0 (flags unchanged) on failure.
    static int WPAParseIEinfo(const unsigned char* ie, unsigned int length, unsigned long& flags);
    // Writes one element chosen by `flags`; the byte count, or -1 when the buffer is under
    // 40 bytes or no protocol flag is set.
    static int WPAGenerateIEinfo(unsigned long flags, unsigned char* buffer, unsigned int bufferLength);

protected:
    explicit CWLANWPAGenSecureMethod(enWLANSecureMethodUID uid);

    // Resolves the stub's entry points once; a failed load is retried on the next call.
    static void LoadWPADll();
    // Whether the stub's context load entry point is resolved.
    static bool IsWPAContextLoadResolved();
    // Whether this object holds a context record (loaded or released).
    bool HasContextRecord() const;
    // Loads a context from `networkBlock` and attaches it with a count of 1; 1 on success,
    // 0 (nothing attached, m_lastState unchanged) when the stub returns null.
    int AttachNewContext(const CWLANState& state, const char* networkBlock, IWpaAdapter* adapter);

    enWLANSecureMethodUID m_uid;
    CWLANState m_lastState;
    stWPAContextRef* m_context;

private:
    void ReleaseRecord();
};
