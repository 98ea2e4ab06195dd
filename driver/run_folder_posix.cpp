#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "driver/run_folder.h"
#include "image/descriptor_io_posix.h"
#include "image/pof_file.h"

namespace {

constexpr char kNoteName[] = "cable";

std::string note_path(const std::string& folder) {
    return folder + "/" + kNoteName;
}

bool read_all(int fd, std::string& text) {
    char buffer[4096];
    return read_to_end(fd, 0, buffer, sizeof buffer,
                       [&text](const char* data, std::size_t n) { text.append(data, n); });
}

bool take_lock(int fd, int how) {
    int rc = 0;
    do {
        rc = flock(fd, how);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

// Opens folder's note when nobody holds it, taking the lock `how` on it; -1 otherwise.
int open_unheld_note(const std::string& folder, int how) {
    int fd = open(note_path(folder).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 && !take_lock(fd, how | LOCK_NB)) {
        close(fd);
        fd = -1;
    }
    return fd;
}

FolderRemoval remove_folder(const std::string& path) {
    if (rmdir(path.c_str()) == 0) {
        return FolderRemoval::kRemoved;
    }
    return errno == ENOTEMPTY || errno == EEXIST ? FolderRemoval::kKept : FolderRemoval::kFailed;
}

}  // namespace

bool make_run_folder(const std::string& cable, RunFolder& folder) {
    // mkdtemp makes a new folder with mode 0700, never one that exists.
    std::string path = std::string(kRunFolderPrefix) + "XXXXXX";
    if (mkdtemp(&path[0]) == nullptr) {
        return false;
    }
    // Locked before the name is in it: a note that names a cable and is held by nobody is a
    // stopped run's. Close-on-exec: only the programmer inherits it, through the process runner.
    const std::string note = note_path(path);
    int fd = open(note.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 && take_lock(fd, LOCK_EX) &&
        write_all(fd, reinterpret_cast<const std::uint8_t*>(cable.data()), cable.size())) {
        folder.path = path;
        folder.note = fd;
        return true;
    }
    if (fd >= 0) {
        unlink(note.c_str());
        close(fd);
    }
    rmdir(path.c_str());
    return false;
}

FolderRemoval remove_run_folder(RunFolder& folder) {
    if (folder.note >= 0) {
        // Deleted while still locked, so that no other run takes it for a stopped run's.
        unlink(note_path(folder.path).c_str());
        close(static_cast<int>(folder.note));
    }
    const FolderRemoval result = remove_folder(folder.path);
    folder = RunFolder{};
    return result;
}

std::vector<LeftFolder> find_left_folders() {
    std::vector<LeftFolder> found;
    DIR* dir = opendir(".");
    if (dir == nullptr) {
        return found;
    }
    const std::size_t prefix = std::strlen(kRunFolderPrefix);
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (name.compare(0, prefix, kRunFolderPrefix) != 0 || lstat(name.c_str(), &st) != 0 ||
            !S_ISDIR(st.st_mode)) {
            continue;
        }
        // A shared lock: scanners do not stand in each other's way, only a live owner does.
        const int fd = open_unheld_note(name, LOCK_SH);
        LeftFolder left{name, ""};
        if (fd >= 0 && read_all(fd, left.cable) && !left.cable.empty()) {
            found.push_back(left);
        }
        if (fd >= 0) {
            close(fd);
        }
    }
    closedir(dir);
    std::sort(found.begin(), found.end(),
              [](const LeftFolder& a, const LeftFolder& b) { return a.path < b.path; });
    return found;
}

FolderRemoval remove_left_folder(const LeftFolder& left) {
    const int fd = open_unheld_note(left.path, LOCK_EX);
    if (fd < 0) {
        return FolderRemoval::kFailed;
    }
    unlink((left.path + "/" + kTempPofName).c_str());
    unlink(note_path(left.path).c_str());
    close(fd);
    return remove_folder(left.path);
}
