#pragma once

#include "airvane/Export.h"
#include "airvane/security/SecureMethod.h"
#include "airvane/security/WLANState.h"
#include "airvane/security/WPASecureCapabilities.h"
#include "airvane/security/WPASecureMethodState.h"
#include "airvane/security/WPAStubContext.h"

#include <cstdint>
#include <string>

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

// WPA with a pre-shared key or a pass phrase (never both), identifier 4.
class AIRVANE_API CWLANWPAPSKSecureMethod : public CWLANWPAGenSecureMethod {
public:
    static constexpr std::uint32_t kMaxKeySizeInBit = 256;
    static constexpr std::uint32_t kKeyBytes = 32;

    CWLANWPAPSKSecureMethod();
    CWLANWPAPSKSecureMethod(const CWLANWPAPSKSecureMethod& other);
    CWLANWPAPSKSecureMethod& operator=(const CWLANWPAPSKSecureMethod& other);
    ~CWLANWPAPSKSecureMethod() override;

    IWLANSecureMethod* Clone() const override;
    int WPALoadContext(const CWLANState& state, const char* ssid, IWpaAdapter* adapter) override;

    // Stores a key (clears the pass phrase); 0 and nothing changed above 256 bits.
    int SetKey(const unsigned char* key, std::uint32_t sizeInBit);
    // 0 when `key` is null or no key is set; otherwise writes length / 8 bytes.
    int GetKey(unsigned char* key) const;
    std::uint32_t GetKeySizeInBit() const;
    // Stores a pass phrase (clears the key); 0 and nothing changed for null or empty text.
    int SetPassword(const char* password);
    // Receives the pass phrase; 1 when it is not empty.
    int GetPassword(std::string& password) const;

protected:
    std::uint32_t m_keySizeInBit;
    unsigned char m_key[kKeyBytes];
    std::string m_password;

private:
    void WipeSecrets();
};
