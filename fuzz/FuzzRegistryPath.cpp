// Registry key path splitting and the WEP Plus hardware identifier test on arbitrary text.

#include "FuzzUnitTime.h"
#include "airvane/security/WEPPlusSecureMethod.h"
#include "airvane/system/Registry.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr std::uint32_t kUntouchedRoot = 0xDEADBEEFu;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

void CheckParsePath(const std::string& text) {
    std::uint32_t root = kUntouchedRoot;
    std::string subKey = "previous content";
    const int result = RegistryParsePath(text.c_str(), root, subKey);
    const std::size_t separator = text.find('\\');
    if (separator == std::string::npos) {
        if (result != 0 || root != kUntouchedRoot || subKey != text) {
            Fail("a path without a separator must fail, keep the root and copy the whole path");
        }
        return;
    }
    if (subKey != text.substr(separator + 1)) {
        Fail("the subkey is not the text after the first separator");
    }
    if ((result == 1) != (root != 0) || (result != 0 && result != 1)) {
        Fail("the result does not match the root handle");
    }
}

std::string Folded(const std::string& text, int (*fold)(int)) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(fold(static_cast<unsigned char>(c)));
    }
    return out;
}

void CheckWepPlus(const std::string& text) {
    const int plain = CWLANWEPPlusSecureMethod::IsWepPlusAdapter(text.c_str());
    if (plain != 0 && plain != 1) {
        Fail("IsWepPlusAdapter returned neither 0 nor 1");
    }
    if (CWLANWEPPlusSecureMethod::IsWepPlusAdapter(Folded(text, std::toupper).c_str()) != plain ||
        CWLANWEPPlusSecureMethod::IsWepPlusAdapter(Folded(text, std::tolower).c_str()) != plain) {
        Fail("IsWepPlusAdapter depends on letter case");
    }
}

int FuzzOne(const std::uint8_t* data, std::size_t size) {
    // The functions read zero-terminated text: the input up to its first zero byte.
    const char* begin = reinterpret_cast<const char*>(data);
    const std::string text(begin, strnlen(begin, size));
    CheckParsePath(text);
    CheckWepPlus(text);
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return RunWithinTimeBudget(data, size, FuzzOne);
}
