#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "image/temp_file.h"

namespace {

bool write_all(int fd, const std::uint8_t* data, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        ssize_t w = write(fd, data + done, n - done);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(w);
    }
    return true;
}

// Whether an existing name is held by a live run: its owner keeps an exclusive lock.
TempFileResult probe(const char* name) {
    int fd = open(name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return TempFileResult::kLeftOver;
    }
    TempFileResult result = TempFileResult::kLeftOver;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        result = TempFileResult::kInUse;
    }
    close(fd);  // also releases a lock taken just now
    return result;
}

bool identity_of(const char* name, std::uint64_t& volume, std::uint64_t& index) {
    struct stat st {};
    if (lstat(name, &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    volume = static_cast<std::uint64_t>(st.st_dev);
    index = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

}  // namespace

TempFileResult create_temp_file(const char* name, const std::uint8_t* data, std::size_t n,
                                TempFile& file) {
    // Written and locked under a unique name first, then linked to the fixed name: a reader
    // of the fixed name never sees it partly written or unlocked.
    std::string unique = std::string(name) + ".XXXXXX";
    int fd = mkostemp(&unique[0], O_CLOEXEC);
    if (fd < 0) {
        return TempFileResult::kFailed;
    }
    struct stat st {};
    bool ok = flock(fd, LOCK_EX) == 0 && fchmod(fd, 0644) == 0 && write_all(fd, data, n) &&
              fstat(fd, &st) == 0;
    TempFileResult result = TempFileResult::kFailed;
    // A second try covers a holder that removed the name between our link and the probe.
    for (int attempt = 0; ok && attempt < 2; ++attempt) {
        if (link(unique.c_str(), name) == 0) {
            result = TempFileResult::kWritten;
            break;
        }
        if (errno != EEXIST) {
            break;
        }
        result = probe(name);
        struct stat existing {};
        ok = result == TempFileResult::kLeftOver && lstat(name, &existing) != 0 && errno == ENOENT;
    }
    unlink(unique.c_str());
    if (result != TempFileResult::kWritten) {
        close(fd);
        return result;
    }
    file.handle = fd;
    file.volume = static_cast<std::uint64_t>(st.st_dev);
    file.index = static_cast<std::uint64_t>(st.st_ino);
    return result;
}

bool temp_file_in_place(const TempFile& file, const char* name) {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    return file.handle >= 0 && identity_of(name, volume, index) && volume == file.volume &&
           index == file.index;
}

TempFileRemoval remove_temp_file(TempFile& file, const char* name) {
    TempFileRemoval result = TempFileRemoval::kReplaced;
    // Removed while still locked, so no other run takes the name for a left-over file meanwhile.
    if (temp_file_in_place(file, name)) {
        result = unlink(name) == 0 ? TempFileRemoval::kRemoved : TempFileRemoval::kFailed;
    }
    if (file.handle >= 0) {
        close(static_cast<int>(file.handle));
    }
    file = TempFile{};
    return result;
}

bool same_file(const char* path, const char* other) {
    struct stat a {};
    struct stat b {};
    return stat(path, &a) == 0 && stat(other, &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}
