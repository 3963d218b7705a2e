#pragma once

#include "airvane/manager/WLANLastError.h"

#include <cstdint>
#include <string>
#include <vector>

// Words and numbers the airvane command-line host prints and reads.
namespace airvane::cli {

// Decodes hex digits, two per byte; spaces, ":" and "-" between pairs are allowed. False on
// any other character, an odd number of digits or no digits at all.
bool ParseHex(const std::string& text, std::vector<std::uint8_t>& bytes);

// Name of an exit status for scripts: "ok", "failed", "usage", "not-found",
// "authentication", "timeout", "no-adapter", "key-store"; "unknown" for others.
std::string ExitStatusName(int status);

// The generic last error in words, e.g. "authentication failed (wrong key or pass phrase)".
std::string LastErrorText(en_WLANLastError error);
// Short identifier of the generic last error for scripts, e.g. "authentication-failed".
std::string LastErrorId(en_WLANLastError error);

// Link status codes as the simulated plug-in writes them (1 associated, 2 associating,
// 3 not associated; 4 is the reset value when an adapter reports nothing).
std::string LinkStatusText(std::int32_t status);
// States of a WPA supplicant context (CWLANWPAGenSecureMethodState::WpaGenState).
std::string WpaStateText(std::int32_t state);
// States of WEP Plus key renewal (CWLANWEPPlusSecureMethodState::WepPlusState).
std::string WepPlusStateText(std::int32_t state);
// Secure method identifiers: "none", "WEP", "WEP Plus", "WPA", "WPA-PSK".
std::string SecureMethodText(std::int32_t uid);
// Strongest WPA cipher (CWLANWPAGenSecureCapabilities::enWPACipher).
std::string CipherText(std::int32_t cipher);

// Names of the information element flag bits, without the WPAIE_ prefix, in bit order.
std::vector<std::string> IEFlagNames(unsigned long flags);
// One flag: a name with or without the WPAIE_ prefix (any case), or a number (decimal or
// 0x hex). False when it is neither or holds bits that are not flags.
bool ParseIEFlag(const std::string& text, unsigned long& flags);
// All flag bits.
unsigned long IEAllFlags();

// Escapes text for a JSON string literal (without the surrounding quotes). Well-formed UTF-8
// passes unchanged; '"', '\\', \n, \r and \t get their short escapes; other control characters,
// 0x7F and each byte outside a well-formed UTF-8 sequence become \u00XX, the code point of the
// same number.
std::string JsonEscape(const std::string& text);
std::string JsonString(const std::string& text);

// Text from a device, a network or a configuration made safe for a terminal: bytes below 0x20
// and 0x7F show as \xNN, so the text cannot move the cursor, change colours or start a line of
// its own. Other bytes, UTF-8 and backslashes included, pass unchanged (a registry path reads
// as it is written).
std::string PrintableText(const std::string& text);
// The lines of a text, each made printable as above, started with `prefix` and ended with a line
// feed (a line feed closing the text ends its last line; an empty text is one empty line), so
// that every line shown carries the prefix.
std::string PrintableLines(const std::string& text, const std::string& prefix);

} // namespace airvane::cli
