#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "driver/cable_lock.h"

namespace {

// Not $TMPDIR, which is per user: the lock must be the same for every user of the host.
constexpr char kLockFolder[] = "/tmp/";

// Opens the lock file, creating it for everyone when it is missing. An existing file is opened
// without O_CREAT: in a sticky folder, protected-regular rules refuse O_CREAT on another user's
// file. Close-on-exec: only the programmer inherits it, through the process runner.
int open_lock_file(const std::string& path) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 || errno != ENOENT) {
            return fd;
        }
        fd = open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // The umask must not keep other users from opening it.
            fchmod(fd, 0666);
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
        // Another run created it just now: open theirs.
    }
    return -1;
}

}  // namespace

CableLockResult lock_cable(const std::string& name, CableLock& lock) {
    const int fd = open_lock_file(kLockFolder + cable_lock_file_name(name));
    if (fd < 0) {
        return CableLockResult::kFailed;
    }
    int rc = 0;
    do {
        rc = flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        close(fd);
        return error == EWOULDBLOCK ? CableLockResult::kBusy : CableLockResult::kFailed;
    }
    lock.handle = fd;
    return CableLockResult::kHeld;
}

void unlock_cable(CableLock& lock) {
    if (lock.handle < 0) {
        return;
    }
    // Only closed, not unlocked: a programmer that inherited the descriptor keeps the lock.
    close(static_cast<int>(lock.handle));
    lock.handle = -1;
}
