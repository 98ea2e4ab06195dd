#include <windows.h>

#include "image/temp_file.h"

namespace {

bool identity_of(HANDLE h, std::uint64_t& volume, std::uint64_t& index) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) {
        return false;
    }
    volume = info.dwVolumeSerialNumber;
    index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

// Opens name for `access` without standing in anyone's way.
HANDLE open_shared(const char* name, DWORD access) {
    return CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool names(HANDLE h, const TempFile& file) {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    return identity_of(h, volume, index) && volume == file.volume && index == file.index;
}

bool write_all(HANDLE h, const std::uint8_t* data, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        DWORD chunk = n - done > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n - done);
        DWORD written = 0;
        if (!WriteFile(h, data + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace

bool create_temp_file(const char* name, const std::uint8_t* data, std::size_t n, TempFile& file) {
    // Readers (the programmer) are welcome; other writers and deleters are not, for as long as
    // the handle stays open.
    HANDLE h = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    if (!write_all(h, data, n) || !FlushFileBuffers(h) || !identity_of(h, volume, index)) {
        CloseHandle(h);
        DeleteFileA(name);
        return false;
    }
    file.handle = reinterpret_cast<std::intptr_t>(h);
    file.volume = volume;
    file.index = index;
    return true;
}

bool temp_file_in_place(const TempFile& file, const char* name) {
    HANDLE h = open_shared(name, FILE_READ_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ours = file.handle != -1 && names(h, file);
    CloseHandle(h);
    return ours;
}

TempFileRemoval remove_temp_file(TempFile& file, const char* name) {
    const TempFile owned = file;
    if (file.handle != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(file.handle));
    }
    file = TempFile{};
    // Deleted through a handle that is known to be our file, never by name alone.
    HANDLE h = open_shared(name, DELETE | FILE_READ_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? TempFileRemoval::kGone
                   : TempFileRemoval::kFailed;
    }
    TempFileRemoval result = TempFileRemoval::kReplaced;
    if (owned.handle != -1 && names(h, owned)) {
        FILE_DISPOSITION_INFO disposition{};
        disposition.DeleteFile = TRUE;
        result =
            SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition)
                ? TempFileRemoval::kRemoved
                : TempFileRemoval::kFailed;
    }
    CloseHandle(h);
    return result;
}
