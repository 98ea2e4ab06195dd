#include "sim/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

// flock rather than fcntl locks: flock belongs to the open file description, so two handles in
// one process exclude each other, and closing an unrelated descriptor of the same file does not
// drop the lock.
LockAttempt try_lock_file(const std::string& path, FileLock& lock) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        std::fprintf(stderr, "bench: cannot open lock file %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return LockAttempt::kFailed;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            return LockAttempt::kBusy;
        }
        std::fprintf(stderr, "bench: cannot lock %s: %s\n", path.c_str(), std::strerror(error));
        return LockAttempt::kFailed;
    }
    lock.handle = fd;
    return LockAttempt::kAcquired;
}

void unlock_file(FileLock& lock) {
    if (!lock_held(lock)) {
        return;
    }
    int fd = static_cast<int>(lock.handle);
    ::flock(fd, LOCK_UN);
    ::close(fd);
    lock.handle = -1;
}
