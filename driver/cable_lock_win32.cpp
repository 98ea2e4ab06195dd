#include <shlobj.h>
#include <windows.h>

#include "driver/cable_lock.h"

namespace {

// The common application-data folder, shared by every user of the machine; empty when unknown.
std::string common_folder() {
    char path[MAX_PATH] = {};
    if (SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) !=
        S_OK) {
        return "";
    }
    return path;
}

}  // namespace

CableLockResult lock_cable(const std::string& name, CableLock& lock) {
    const std::string folder = common_folder();
    if (folder.empty()) {
        return CableLockResult::kFailed;
    }
    const std::string path = folder + "\\" + cable_lock_file_name(name);
    // No sharing: while this handle, or the programmer's inherited copy, is open, nobody else
    // can open the file. Read access alone, so another user's file serves as well.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_SHARING_VIOLATION ? CableLockResult::kBusy
                                                         : CableLockResult::kFailed;
    }
    lock.handle = reinterpret_cast<std::intptr_t>(h);
    return CableLockResult::kHeld;
}

void unlock_cable(CableLock& lock) {
    if (lock.handle == -1) {
        return;
    }
    CloseHandle(reinterpret_cast<HANDLE>(lock.handle));
    lock.handle = -1;
}
