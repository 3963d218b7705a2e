#include "airvane/platform/MbString.h"

#include <mbstring.h>

#include <cstring>

// The C runtime's multibyte functions: they step over a double-byte character of the
// current multibyte code page as one unit.

namespace airvane::platform {
namespace {

const unsigned char* Bytes(const char* text) {
    return reinterpret_cast<const unsigned char*>(text);
}

const char* Chars(const unsigned char* text) {
    return reinterpret_cast<const char*>(text);
}

} // namespace

const char* MbsStr(const char* text, const char* needle) {
    return Chars(::_mbsstr(Bytes(text), Bytes(needle)));
}

const char* MbsChr(const char* text, int c) {
    if (static_cast<unsigned char>(c) == 0) { // the byte searched for is the terminator
        return nullptr;
    }
    return Chars(::_mbschr(Bytes(text), static_cast<unsigned char>(c)));
}

const char* MbsRChr(const char* text, int c) {
    if (static_cast<unsigned char>(c) == 0) { // the byte searched for is the terminator
        return nullptr;
    }
    return Chars(::_mbsrchr(Bytes(text), static_cast<unsigned char>(c)));
}

const char* MbsPbrk(const char* text, const char* set) {
    return Chars(::_mbspbrk(Bytes(text), Bytes(set)));
}

int MbsCmp(const char* a, const char* b) {
    return ::_mbscmp(Bytes(a), Bytes(b));
}

void MbsNbCpy(char* dst, const char* src, std::size_t bytes) {
    // _mbsnbcpy pads up to the count with zeros; a count of at most the text and its
    // terminator keeps the bytes after the terminator untouched.
    const std::size_t length = ::strnlen(src, bytes);
    ::_mbsnbcpy(reinterpret_cast<unsigned char*>(dst), Bytes(src), length < bytes ? length + 1 : bytes);
}

} // namespace airvane::platform
