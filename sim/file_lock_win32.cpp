#include "sim/file_lock.h"

#include <windows.h>

#include <cstdio>

// The lock covers one byte of the lock file; Windows drops it when the handle is closed, which
// it also does for every handle of a process that dies.
LockAttempt try_lock_file(const std::string& path, FileLock& lock) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "bench: cannot open lock file %s: error %lu\n", path.c_str(),
                     static_cast<unsigned long>(GetLastError()));
        return LockAttempt::kFailed;
    }
    OVERLAPPED at = {};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        DWORD error = GetLastError();
        CloseHandle(file);
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
            return LockAttempt::kBusy;
        }
        std::fprintf(stderr, "bench: cannot lock %s: error %lu\n", path.c_str(),
                     static_cast<unsigned long>(error));
        return LockAttempt::kFailed;
    }
    lock.handle = reinterpret_cast<std::intptr_t>(file);
    return LockAttempt::kAcquired;
}

void unlock_file(FileLock& lock) {
    if (!lock_held(lock)) {
        return;
    }
    HANDLE file = reinterpret_cast<HANDLE>(lock.handle);
    OVERLAPPED at = {};
    UnlockFileEx(file, 0, 1, 0, &at);
    CloseHandle(file);
    lock.handle = -1;
}
