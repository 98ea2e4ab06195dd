#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "driver/station_process.h"
#include "handoff/signals_posix.h"

std::string own_program_path(const char* argv0) {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length > 0) {
        return std::string(path, static_cast<std::size_t>(length));
    }
    std::error_code error;
    const std::filesystem::path resolved =
        std::filesystem::canonical(argv0 != nullptr ? argv0 : "", error);
    return error ? "" : resolved.string();
}

std::string make_station_folder() {
    const char* temp = std::getenv("TMPDIR");
    std::string pattern = std::string(temp != nullptr && temp[0] == '/' ? temp : "/tmp") +
                          "/cablewright-station-XXXXXX";
    // mkdtemp makes it with mode 0700: the runs' outputs are nobody else's to read.
    return mkdtemp(&pattern[0]) != nullptr ? pattern : "";
}

bool start_station_child(const std::vector<std::string>& argv, const std::string& out_path,
                         const std::string& err_path, StationChild& child) {
    if (argv.empty()) {
        return false;
    }
    // Everything the child needs is ready before fork: after it, only async-signal-safe calls.
    std::vector<char*> words;
    for (const std::string& word : argv) {
        words.push_back(const_cast<char*>(word.c_str()));
    }
    words.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        // A group of its own: the terminal's Ctrl-C reaches the station alone, which passes it
        // on. Never the terminal nor a pipe: a run must not stop or break on a console it does
        // not own.
        setpgid(0, 0);
        const int input = open("/dev/null", O_RDONLY);
        const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (input < 0 || out < 0 || err < 0 || dup2(input, 0) < 0 || dup2(out, 1) < 0 ||
            dup2(err, 2) < 0) {
            _exit(127);
        }
        restore_start_dispositions();
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(words[0], words.data());
        _exit(127);
    }
    // Also set here, so that an interrupt passed on at once already finds the group.
    setpgid(pid, pid);
    child.id = pid;
    return true;
}

bool station_child_ended(StationChild& child, StationChildEnd& end) {
    int status = 0;
    const pid_t pid = waitpid(static_cast<pid_t>(child.id), &status, WNOHANG);
    if (pid == 0 || (pid < 0 && errno == EINTR)) {
        return false;
    }
    end = StationChildEnd{};
    if (pid < 0) {
        // Lost: treated as a run that failed.
        end.exit_status = -1;
    } else if (WIFSIGNALED(status)) {
        end.signalled = true;
        end.signal_number = WTERMSIG(status);
        end.interrupt_signal = end.signal_number == SIGINT;
    } else {
        end.exit_status = WEXITSTATUS(status);
    }
    child.id = -1;
    return true;
}

void interrupt_station_child(const StationChild& child) {
    if (child.id > 0) {
        kill(-static_cast<pid_t>(child.id), SIGINT);
    }
}

std::size_t terminal_columns() {
    struct winsize size {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

// Terminals here take the escapes as they are.
bool begin_terminal_view() {
    return true;
}

void end_terminal_view() {}

void station_nap() {
    usleep(20000);
}
