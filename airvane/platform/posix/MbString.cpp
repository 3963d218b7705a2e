#include "airvane/platform/MbString.h"

#include <cstring>

namespace airvane::platform {

const char* MbsStr(const char* text, const char* needle) {
    return std::strstr(text, needle);
}

const char* MbsChr(const char* text, int c) {
    if (static_cast<unsigned char>(c) == 0) { // the byte searched for is the terminator
        return nullptr;
    }
    return std::strchr(text, c);
}

const char* MbsRChr(const char* text, int c) {
    if (static_cast<unsigned char>(c) == 0) { // the byte searched for is the terminator
        return nullptr;
    }
    return std::strrchr(text, c);
}

const char* MbsPbrk(const char* text, const char* set) {
    return std::strpbrk(text, set);
}

int MbsCmp(const char* a, const char* b) {
    return std::strcmp(a, b); // strcmp compares as unsigned char
}

void MbsNbCpy(char* dst, const char* src, std::size_t bytes) {
    std::size_t i = 0;
    for (; i < bytes && src[i] != '\0'; ++i) {
        dst[i] = src[i];
    }
    if (i < bytes) {
        dst[i] = '\0';
    }
}

} // namespace airvane::platform
