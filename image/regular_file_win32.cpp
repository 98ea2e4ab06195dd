#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "image/regular_file.h"

std::FILE* open_regular_file(const char* path, std::uint64_t& size) {
    // The narrow path goes to the system as it is (the ANSI code page), like fopen would.
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open at all.
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    LARGE_INTEGER length{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &length) || length.QuadPart < 0) {
        CloseHandle(h);
        return nullptr;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    std::FILE* f = _fdopen(fd, "rb");
    if (f == nullptr) {
        _close(fd);  // closes the handle too
        return nullptr;
    }
    size = static_cast<std::uint64_t>(length.QuadPart);
    return f;
}

namespace {

// The volume and index that name an open file; false when the system cannot tell.
bool file_identity(const char* path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = CreateFileA(path, FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool known = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return known;
}

}  // namespace

bool name_one_file(const char* path, const char* other) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    return file_identity(path, a) && file_identity(other, b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}
