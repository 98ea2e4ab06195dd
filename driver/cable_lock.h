// One update per cable on a host: a lock file per cable name, shared by every user and working
// folder, as one platform service.
#pragma once

#include <cstdint>
#include <string>

// A held cable lock: the open descriptor (POSIX) or HANDLE (Windows) that holds it, -1 when none.
// The programmer inherits it, so a programmer left running still holds the lock.
struct CableLock {
    std::intptr_t handle = -1;
};

enum class CableLockResult {
    kHeld,    // this run holds the cable's lock
    kBusy,    // another run (or the programmer it left running) holds it
    kFailed,  // the lock file cannot be opened or locked at all
};

// "cablewright-<SHA-256 of name, 64 lower-case hexadecimal digits>.lock".
std::string cable_lock_file_name(const std::string& name);

// Takes the lock of the cable called name without waiting. Prints nothing.
CableLockResult lock_cable(const std::string& name, CableLock& lock);

// Releases a held lock (a programmer still running keeps holding it); nothing for none.
void unlock_cable(CableLock& lock);
