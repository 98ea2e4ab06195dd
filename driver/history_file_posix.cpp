#include "driver/history_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <ctime>
#include <vector>

#include "image/descriptor_io_posix.h"

namespace {

constexpr int kHistoryLockPollMs = 20;

}  // namespace

struct HistoryFile {
    int fd = -1;
};

HistoryFile* open_history_file(const std::string& path) {
    // Non-blocking, so that a FIFO without a reader is refused instead of waiting forever. Read
    // access tells whether the file ends with a newline.
    int fd =
        open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
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

bool lock_history_file(HistoryFile* file, int timeout_ms, bool (*interrupted)()) {
    if (file == nullptr) {
        return false;
    }
    // Polled rather than blocking, so that the wait has a limit and an interrupt can end it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    const timespec step{0, kHistoryLockPollMs * 1000000L};
    while (flock(file->fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) ||
            std::chrono::steady_clock::now() >= deadline ||
            (interrupted != nullptr && interrupted())) {
            return false;
        }
        nanosleep(&step, nullptr);
    }
    return true;
}

void unlock_history_file(HistoryFile* file) {
    if (file != nullptr) {
        flock(file->fd, LOCK_UN);
    }
}

bool append_history_line(HistoryFile* file, const std::string& line) {
    if (file == nullptr) {
        return false;
    }
    struct stat info {};
    if (fstat(file->fd, &info) != 0) {
        return false;
    }
    char last = '\n';
    if (info.st_size > 0 && pread(file->fd, &last, 1, info.st_size - 1) != 1) {
        return false;
    }
    const std::string text = last == '\n' ? line : "\n" + line;
    // One write: with O_APPEND and the lock, no other run's line lands inside this one.
    ssize_t written = -1;
    do {
        written = write(file->fd, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(text.size()) && fsync(file->fd) == 0) {
        return true;
    }
    if (ftruncate(file->fd, info.st_size) == 0) {
        fsync(file->fd);
    }
    return false;
}

bool read_history_pieces(HistoryFile* file,
                         const std::function<void(const char*, std::size_t)>& piece) {
    std::vector<char> buffer(kHistoryPieceSize);
    return file != nullptr && read_to_end(file->fd, 0, buffer.data(), buffer.size(), piece);
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
