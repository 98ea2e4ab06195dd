#include "driver/history_file.h"

#include <windows.h>

#include <vector>

namespace {

constexpr DWORD kHistoryLockPollMs = 20;

// The lock stands for the file, not for bytes: one byte far past any history's end, so that it
// never stops a reader (a Windows lock also keeps other handles from reading the bytes it
// covers), and inside the whole range that earlier versions locked, so that they still exclude
// each other.
OVERLAPPED lock_mark() {
    OVERLAPPED mark{};
    mark.Offset = MAXDWORD - 1;
    mark.OffsetHigh = MAXDWORD;
    return mark;
}

}  // namespace

struct HistoryFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

HistoryFile* open_history_file(const std::string& path) {
    // Write access, so that a failed append can be cut back; every append is written at the end
    // of the file. Read access tells whether the file ends with a newline.
    HANDLE handle = CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_WRITE_DATA | FILE_READ_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return nullptr;
    }
    return new HistoryFile{handle};
}

bool lock_history_file(HistoryFile* file, int timeout_ms, bool (*interrupted)()) {
    if (file == nullptr) {
        return false;
    }
    // Polled rather than blocking, so that the wait has a limit and an interrupt can end it.
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
    for (;;) {
        OVERLAPPED mark = lock_mark();
        if (LockFileEx(file->handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                       &mark)) {
            return true;
        }
        if (GetLastError() != ERROR_LOCK_VIOLATION || GetTickCount64() >= deadline ||
            (interrupted != nullptr && interrupted())) {
            return false;
        }
        Sleep(kHistoryLockPollMs);
    }
}

void unlock_history_file(HistoryFile* file) {
    if (file != nullptr) {
        OVERLAPPED mark = lock_mark();
        UnlockFileEx(file->handle, 0, 1, 0, &mark);
    }
}

bool append_history_line(HistoryFile* file, const std::string& line) {
    if (file == nullptr || line.size() >= MAXDWORD) {
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file->handle, &size)) {
        return false;
    }
    char last = '\n';
    if (size.QuadPart > 0) {
        OVERLAPPED at{};
        const ULONGLONG offset = static_cast<ULONGLONG>(size.QuadPart) - 1;
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD read = 0;
        if (!ReadFile(file->handle, &last, 1, &read, &at) || read != 1) {
            return false;
        }
    }
    const std::string text = last == '\n' ? line : "\n" + line;
    // Both offset words all ones: the write goes to the end of the file, whatever its pointer.
    OVERLAPPED end{};
    end.Offset = MAXDWORD;
    end.OffsetHigh = MAXDWORD;
    DWORD written = 0;
    if (WriteFile(file->handle, text.data(), static_cast<DWORD>(text.size()), &written, &end) &&
        written == text.size() && FlushFileBuffers(file->handle)) {
        return true;
    }
    FILE_END_OF_FILE_INFO earlier{};
    earlier.EndOfFile = size;
    if (SetFileInformationByHandle(file->handle, FileEndOfFileInfo, &earlier, sizeof earlier)) {
        FlushFileBuffers(file->handle);
    }
    return false;
}

bool read_history_pieces(HistoryFile* file,
                         const std::function<void(const char*, std::size_t)>& piece) {
    if (file == nullptr) {
        return false;
    }
    std::vector<char> buffer(kHistoryPieceSize);
    ULONGLONG at = 0;
    for (;;) {
        OVERLAPPED from{};
        from.Offset = static_cast<DWORD>(at);
        from.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        if (!ReadFile(file->handle, buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                      &from)) {
            return GetLastError() == ERROR_HANDLE_EOF;
        }
        if (got == 0) {
            return true;
        }
        piece(buffer.data(), got);
        at += got;
    }
}

void close_history_file(HistoryFile* file) {
    if (file != nullptr) {
        CloseHandle(file->handle);
        delete file;
    }
}

std::string host_name() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

std::string user_name() {
    char name[256 + 1] = {};  // UNLEN + 1
    DWORD size = sizeof name;
    // The size includes the terminating zero.
    return GetUserNameA(name, &size) && size > 0 ? std::string(name, size - 1) : std::string();
}

unsigned long process_id() {
    return GetCurrentProcessId();
}

bool utc_calendar_time(std::int64_t seconds, std::tm& calendar) {
    // gmtime_s refuses times before 1970. The calendar repeats every 400 years (146097 days,
    // whole weeks), so such a time is read 400 years on and its year taken back.
    constexpr std::int64_t k400Years = 146097LL * 86400;
    const int years_back = seconds < 0 ? 400 : 0;
    const time_t time = static_cast<time_t>(seconds < 0 ? seconds + k400Years : seconds);
    if (time < 0 || gmtime_s(&calendar, &time) != 0) {
        return false;
    }
    calendar.tm_year -= years_back;
    return true;
}
