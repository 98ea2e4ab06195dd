#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "image/descriptor_io_posix.h"
#include "image/temp_file.h"

namespace {

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

bool read_to_end(int fd, std::uint64_t from, char* buffer, std::size_t size,
                 const std::function<void(const char*, std::size_t)>& piece) {
    for (;;) {
        const ssize_t got = pread(fd, buffer, size, static_cast<off_t>(from));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0;
        }
        piece(buffer, static_cast<std::size_t>(got));
        from += static_cast<std::uint64_t>(got);
    }
}

bool create_temp_file(const char* name, const std::uint8_t* data, std::size_t n, TempFile& file) {
    // Never an existing name, nor a link planted in its place.
    int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (!write_all(fd, data, n) || fstat(fd, &st) != 0) {
        close(fd);
        unlink(name);
        return false;
    }
    file.handle = fd;
    file.volume = static_cast<std::uint64_t>(st.st_dev);
    file.index = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

bool temp_file_in_place(const TempFile& file, const char* name) {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    return file.handle >= 0 && identity_of(name, volume, index) && volume == file.volume &&
           index == file.index;
}

TempFileRemoval remove_temp_file(TempFile& file, const char* name) {
    TempFileRemoval result = TempFileRemoval::kReplaced;
    struct stat st {};
    if (lstat(name, &st) != 0 && errno == ENOENT) {
        result = TempFileRemoval::kGone;
    } else if (temp_file_in_place(file, name)) {
        // Still open while it is removed, so its identity cannot pass to another file meanwhile.
        result = unlink(name) == 0 ? TempFileRemoval::kRemoved : TempFileRemoval::kFailed;
    }
    if (file.handle >= 0) {
        close(static_cast<int>(file.handle));
    }
    file = TempFile{};
    return result;
}
