// A 64-bit off_t on 32-bit systems too: without it fstat fails with EOVERFLOW on files of
// 2 GiB and more, where the size must still be read (its low 32 bits are reported).
#define _FILE_OFFSET_BITS 64

#include "airvane/platform/internal/FileBackend.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace airvane::platform {

FileHandle OpenFileForRead(const char* path) {
    if (path == nullptr) {
        return kInvalidFile;
    }
    int fd;
    do {
        // Not blocking: opening a named pipe would otherwise wait for a writer.
        fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return kInvalidFile;
    }
    struct stat info;
    // Only a regular file has a size to read: folders, pipes and devices are refused.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return kInvalidFile;
    }
    return fd;
}

bool GetFileSize32(FileHandle file, std::uint32_t& size) {
    struct stat info;
    if (file == kInvalidFile || ::fstat(static_cast<int>(file), &info) != 0) {
        return false;
    }
    size = static_cast<std::uint32_t>(static_cast<std::uint64_t>(info.st_size) & 0xFFFFFFFFu);
    return true;
}

std::uint32_t ReadSome(FileHandle file, char* out, std::uint32_t bytes) {
    ssize_t got;
    do {
        got = ::read(static_cast<int>(file), out, bytes);
    } while (got < 0 && errno == EINTR);
    return got > 0 ? static_cast<std::uint32_t>(got) : 0;
}

void CloseFile(FileHandle file) {
    if (file != kInvalidFile) {
        ::close(static_cast<int>(file));
    }
}

} // namespace airvane::platform
