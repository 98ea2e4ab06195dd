#include <windows.h>

#include <algorithm>

#include "driver/random_folder_win32.h"
#include "driver/run_folder.h"
#include "image/pof_file.h"

namespace {

constexpr char kNoteName[] = "cable";

std::string note_path(const std::string& folder) {
    return folder + "\\" + kNoteName;
}

// Opens folder's note when nobody holds it: its owner writes to it and shares reading only,
// so opening it for reading while refusing others' writing fails as long as the owner's handle
// (or the programmer's inherited copy) is open.
HANDLE open_unheld_note(const std::string& folder, DWORD access) {
    return CreateFileA(note_path(folder).c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool delete_on_close(HANDLE h) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition);
}

FolderRemoval remove_folder(const std::string& path) {
    if (RemoveDirectoryA(path.c_str())) {
        return FolderRemoval::kRemoved;
    }
    return GetLastError() == ERROR_DIR_NOT_EMPTY ? FolderRemoval::kKept : FolderRemoval::kFailed;
}

}  // namespace

bool make_run_folder(const std::string& cable, RunFolder& folder) {
    const std::string path = make_random_folder(kRunFolderPrefix);
    if (path.empty()) {
        return false;
    }
    // Held from its creation, before the name is in it. Readers that do not stand in its way
    // are welcome; deleting is shared so that the run can delete it while still holding it.
    const std::string note = note_path(path);
    HANDLE h = CreateFileA(note.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                           nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (h != INVALID_HANDLE_VALUE &&
        WriteFile(h, cable.data(), static_cast<DWORD>(cable.size()), &written, nullptr) &&
        written == cable.size()) {
        folder.path = path;
        folder.note = reinterpret_cast<std::intptr_t>(h);
        return true;
    }
    if (h != INVALID_HANDLE_VALUE) {
        DeleteFileA(note.c_str());
        CloseHandle(h);
    }
    RemoveDirectoryA(path.c_str());
    return false;
}

FolderRemoval remove_run_folder(RunFolder& folder) {
    if (folder.note != -1) {
        // Deleted while still held, so that no other run takes it for a stopped run's.
        DeleteFileA(note_path(folder.path).c_str());
        CloseHandle(reinterpret_cast<HANDLE>(folder.note));
    }
    const FolderRemoval result = remove_folder(folder.path);
    folder = RunFolder{};
    return result;
}

std::vector<LeftFolder> find_left_folders() {
    std::vector<LeftFolder> found;
    WIN32_FIND_DATAA entry{};
    HANDLE search = FindFirstFileA((std::string(kRunFolderPrefix) + "*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return found;
    }
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            continue;
        }
        LeftFolder left{entry.cFileName, ""};
        HANDLE h = open_unheld_note(left.path, GENERIC_READ);
        if (h == INVALID_HANDLE_VALUE) {
            continue;
        }
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            left.cable.append(buffer, got);
        }
        CloseHandle(h);
        if (!left.cable.empty()) {
            found.push_back(left);
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    std::sort(found.begin(), found.end(),
              [](const LeftFolder& a, const LeftFolder& b) { return a.path < b.path; });
    return found;
}

FolderRemoval remove_left_folder(const LeftFolder& left) {
    HANDLE h = open_unheld_note(left.path, GENERIC_READ | DELETE);
    if (h == INVALID_HANDLE_VALUE) {
        return FolderRemoval::kFailed;
    }
    DeleteFileA((left.path + "\\" + kTempPofName).c_str());
    delete_on_close(h);
    CloseHandle(h);
    return remove_folder(left.path);
}
