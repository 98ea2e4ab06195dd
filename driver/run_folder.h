// A run's private folder inside the working folder, as one platform service. Nobody else writes
// there, so the programmer, started inside it, opens exactly the file the run wrote; its note
// names the cable, so that a folder a stopped run left behind says which cable it was updating.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Every private folder's name starts so; random characters follow.
constexpr char kRunFolderPrefix[] = ".cablewright-";

// The run's own folder, with its note open and locked for as long as the run (and the programmer,
// which inherits the note) lives.
struct RunFolder {
    std::string path;         // relative to the working folder
    std::intptr_t note = -1;  // POSIX descriptor or Windows HANDLE of the note; -1 when none
};

// Makes a new private folder (mode 0700 where the file system keeps modes) in the working
// folder, and in it the note, locked before cable is written into it. False, with nothing left
// behind, when it cannot. Prints nothing.
bool make_run_folder(const std::string& cable, RunFolder& folder);

enum class FolderRemoval {
    kRemoved,  // the folder is gone
    kKept,     // files other than ours are in it; they and the folder are left alone
    kFailed,   // it could not be deleted
};

// Deletes the note and the folder (the run removes its temporary file first) and releases the
// note. Prints nothing.
FolderRemoval remove_run_folder(RunFolder& folder);

// A private folder whose note names a cable and is held by nobody: its run was stopped.
struct LeftFolder {
    std::string path;   // relative to the working folder
    std::string cable;  // the name in the note, as written
};

// The left folders in the working folder, ordered by name. Folders that cannot be read are
// passed over.
std::vector<LeftFolder> find_left_folders();

// Deletes a left folder's temporary file, note and the folder, if its note is still held by
// nobody (kFailed otherwise, nothing deleted). Prints nothing.
FolderRemoval remove_left_folder(const LeftFolder& left);
