#include "airvane/platform/internal/FileBackend.h"

#include <windows.h>

namespace airvane::platform {

namespace {

// kInvalidFile (-1) has the value of INVALID_HANDLE_VALUE, so handles convert both ways.
HANDLE ToHandle(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

} // namespace

FileHandle OpenFileForRead(const char* path) {
    if (path == nullptr) {
        return kInvalidFile;
    }
    // Others may go on writing, renaming or deleting the file while it is read, as on POSIX.
    const HANDLE file =
        ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return kInvalidFile;
    }
    // Only a file on disk has a size to read: a device ("CON", "NUL") or a pipe is refused.
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        return kInvalidFile;
    }
    return reinterpret_cast<FileHandle>(file);
}

bool GetFileSize32(FileHandle file, std::uint32_t& size) {
    BY_HANDLE_FILE_INFORMATION info;
    if (file == kInvalidFile || !::GetFileInformationByHandle(ToHandle(file), &info)) {
        return false;
    }
    size = info.nFileSizeLow;
    return true;
}

std::uint32_t ReadSome(FileHandle file, char* out, std::uint32_t bytes) {
    DWORD got = 0;
    return ::ReadFile(ToHandle(file), out, bytes, &got, nullptr) ? got : 0;
}

void CloseFile(FileHandle file) {
    if (file != kInvalidFile) {
        ::CloseHandle(ToHandle(file));
    }
}

} // namespace airvane::platform
