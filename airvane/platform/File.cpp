#include "airvane/platform/internal/FileBackend.h"

namespace airvane::platform {

std::uint32_t ReadFile(FileHandle file, void* buffer, std::uint32_t bytes) {
    if (file == kInvalidFile || buffer == nullptr) {
        return 0;
    }
    std::uint32_t total = 0;
    char* const out = static_cast<char*>(buffer);
    while (total < bytes) {
        const std::uint32_t got = ReadSome(file, out + total, bytes - total);
        if (got == 0) {
            break;
        }
        total += got;
    }
    return total;
}

} // namespace airvane::platform
