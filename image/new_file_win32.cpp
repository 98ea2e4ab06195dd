#include <windows.h>

#include "image/new_file.h"

NewFileResult write_new_file(const char* name, const std::uint8_t* data, std::size_t n) {
    // CREATE_NEW fails on any existing name, a link included.
    HANDLE h = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? NewFileResult::kExists
                                                                           : NewFileResult::kFailed;
    }
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < n) {
        DWORD chunk = n - done > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n - done);
        DWORD written = 0;
        ok = WriteFile(h, data + done, chunk, &written, nullptr) && written > 0;
        done += written;
    }
    if (!CloseHandle(h)) {
        ok = false;
    }
    if (!ok) {
        DeleteFileA(name);
        return NewFileResult::kFailed;
    }
    return NewFileResult::kWritten;
}
