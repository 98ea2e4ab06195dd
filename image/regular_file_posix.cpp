#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "image/regular_file.h"

std::FILE* open_regular_file(const char* path, std::uint64_t& size) {
    // Non-blocking, so that opening a FIFO returns at once instead of waiting for a writer.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        close(fd);
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    std::FILE* f =
        flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ? nullptr : fdopen(fd, "rb");
    if (f == nullptr) {
        close(fd);
        return nullptr;
    }
    size = static_cast<std::uint64_t>(info.st_size);
    return f;
}

bool name_one_file(const char* path, const char* other) {
    struct stat a {};
    struct stat b {};
    return stat(path, &a) == 0 && stat(other, &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}
