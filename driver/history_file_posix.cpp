#include "driver/history_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>

struct HistoryFile {
    int fd = -1;
};

HistoryFile* open_history_file(const std::string& path) {
    // Non-blocking, so that a FIFO without a reader is refused instead of waiting forever.
    int fd =
        open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return nullptr;
    }
    return new HistoryFile{fd};
}

bool append_history_line(HistoryFile* file, const std::string& line) {
    if (file == nullptr) {
        return false;
    }
    int locked = -1;
    do {
        locked = flock(file->fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        return false;
    }
    // One write: with O_APPEND and the lock, no other run's line lands inside this one. A short
    // write leaves a torn line, reported as a failure.
    ssize_t written = -1;
    do {
        written = write(file->fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    bool ok = written == static_cast<ssize_t>(line.size()) && fsync(file->fd) == 0;
    flock(file->fd, LOCK_UN);
    return ok;
}

void close_history_file(HistoryFile* file) {
    if (file != nullptr) {
        close(file->fd);
        delete file;
    }
}

std::string host_name() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return "";
    }
    return name;
}

std::string user_name() {
    const passwd* entry = getpwuid(geteuid());
    return entry != nullptr && entry->pw_name != nullptr ? entry->pw_name : "";
}

unsigned long process_id() {
    return static_cast<unsigned long>(getpid());
}

bool utc_calendar_time(std::int64_t seconds, std::tm& calendar) {
    const time_t time = static_cast<time_t>(seconds);
    return time == seconds && gmtime_r(&time, &calendar) != nullptr;
}
