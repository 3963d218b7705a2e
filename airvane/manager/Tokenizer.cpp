#include "airvane/manager/internal/Tokenizer.h"

#include <cstring>
#include <new>

namespace {

bool IsInSet(char c, const char* set) {
    // The terminator of the set is not a member.
    return set != nullptr && c != '\0' && std::strchr(set, c) != nullptr;
}

} // namespace

int NextToken(const char* delimiters, const char* trimSet, const char*& cursor, std::size_t& remaining,
              char*& tokenBuffer, std::size_t& tokenCapacity) {
    const char* start = cursor;
    std::size_t length = 0;
    while (remaining > 0 && !IsInSet(*cursor, delimiters)) {
        ++cursor;
        ++length;
        --remaining;
    }
    while (length > 0 && IsInSet(*start, trimSet)) {
        ++start;
        --length;
    }
    while (length > 0 && IsInSet(start[length - 1], trimSet)) {
        --length;
    }

    int result = 1;
    if (tokenBuffer == nullptr || length > tokenCapacity) {
        delete[] tokenBuffer;
        tokenCapacity = length;
        tokenBuffer = new (std::nothrow) char[tokenCapacity + 1];
        if (tokenBuffer == nullptr) {
            tokenCapacity = 0;
            result = 0;
        }
    }
    if (tokenBuffer != nullptr) {
        std::memset(tokenBuffer, 0, tokenCapacity + 1);
        if (length > 0) {
            std::memcpy(tokenBuffer, start, length);
        }
    }

    if (remaining > 0) {
        // The scan stopped at a delimiter: step over it.
        ++cursor;
        --remaining;
    }
    return result;
}

void ReleaseTokenBuffer(char*& tokenBuffer, std::size_t& tokenCapacity) {
    delete[] tokenBuffer;
    tokenBuffer = nullptr;
    tokenCapacity = 0;
}
