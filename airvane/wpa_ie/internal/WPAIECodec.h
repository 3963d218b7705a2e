#pragma once

// WPA / RSN information element codec, with the flag word of airvane/wpa_ie/WPAIEFlags.h.
// Hosts reach it through CWLANWPAGenSecureMethod::WPAParseIEinfo and WPAGenerateIEinfo.

namespace airvane::wpa_ie {

// Parses one element of `length` bytes and ORs its flags into `flags`; 1 on success,
// 0 (flags unchanged) on failure.
int Parse(const unsigned char* ie, unsigned int length, unsigned long& flags);

// Writes one element chosen by `flags`; the byte count, or -1 when the buffer is under 40
// bytes or no protocol flag is set.
int Generate(unsigned long flags, unsigned char* buffer, unsigned int bufferLength);

} // namespace airvane::wpa_ie
