#include "driver/history_file.h"

#include <windows.h>

#include <ctime>

struct HistoryFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

HistoryFile* open_history_file(const std::string& path) {
    // Append access without FILE_WRITE_DATA: every write goes to the end of the file, whoever
    // else writes to it. LockFileEx refuses a handle that has neither read nor write data access,
    // so read access comes along; nothing is ever read.
    HANDLE handle = CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
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

bool append_history_line(HistoryFile* file, const std::string& line) {
    if (file == nullptr || line.size() > MAXDWORD) {
        return false;
    }
    // The whole possible range, locked as one: the lock stands for the file, not for bytes.
    OVERLAPPED whole{};
    if (!LockFileEx(file->handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        return false;
    }
    DWORD written = 0;
    bool ok =
        WriteFile(file->handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
        written == line.size() && FlushFileBuffers(file->handle);
    OVERLAPPED again{};
    UnlockFileEx(file->handle, 0, MAXDWORD, MAXDWORD, &again);
    return ok;
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
