// Exclusive locks on files, held by one open handle and released by the operating system when
// the holder dies, so a crashed process never leaves a cable locked.
#pragma once

#include <cstdint>
#include <string>

struct FileLock {
    std::intptr_t handle = -1;  // open descriptor (POSIX) or HANDLE (Windows) while held
};

enum class LockAttempt { kAcquired, kBusy, kFailed };

// Takes the exclusive lock on path (creating the file) without waiting. kBusy when another
// handle holds it, in this process or another; kFailed, after a message on standard error, when
// the file cannot be opened or locked.
LockAttempt try_lock_file(const std::string& path, FileLock& lock);

// True while lock holds its file.
inline bool lock_held(const FileLock& lock) {
    return lock.handle != -1;
}

// Releases a held lock and closes its handle; does nothing for a lock not held.
void unlock_file(FileLock& lock);
