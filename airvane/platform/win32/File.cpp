#include "airvane/platform/File.h"

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
    const HANDLE file = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(file);
}

bool GetFileSize32(FileHandle file, std::uint32_t& size) {
    BY_HANDLE_FILE_INFORMATION info;
    if (file == kInvalidFile || !::GetFileInformationByHandle(ToHandle(file), &info)) {
        return false;
    }
    size = info.nFileSizeLow;
    return true;
}

std::uint32_t ReadFile(FileHandle file, void* buffer, std::uint32_t bytes) {
    if (file == kInvalidFile || buffer == nullptr) {
        return 0;
    }
    std::uint32_t total = 0;
    char* out = static_cast<char*>(buffer);
    while (total < bytes) {
        DWORD got = 0;
        if (!::ReadFile(ToHandle(file), out + total, bytes - total, &got, nullptr) || got == 0) {
            break;
        }
        total += got;
    }
    return total;
}

void CloseFile(FileHandle file) {
    if (file != kInvalidFile) {
        ::CloseHandle(ToHandle(file));
    }
}

} // namespace airvane::platform
