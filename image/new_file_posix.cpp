#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "image/new_file.h"

NewFileResult write_new_file(const char* name, const std::uint8_t* data, std::size_t n) {
    // O_EXCL with O_CREAT fails on any existing name, a dangling link included.
    int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errno == EEXIST ? NewFileResult::kExists : NewFileResult::kFailed;
    }
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < n) {
        ssize_t w = write(fd, data + done, n - done);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        ok = w > 0;
        if (ok) {
            done += static_cast<std::size_t>(w);
        }
    }
    if (close(fd) != 0) {
        ok = false;
    }
    if (!ok) {
        unlink(name);
        return NewFileResult::kFailed;
    }
    return NewFileResult::kWritten;
}
