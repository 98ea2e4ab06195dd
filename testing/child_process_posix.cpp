#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <utility>

#include "testing/child_process.h"

extern char** environ;

const char kProgramSuffix[] = "";
const char kPathListSeparator = ':';
const char kConsoleLineEnd[] = "\n";
const int kCrashExitStatus = 128 + SIGSEGV;

namespace {

using Clock = std::chrono::steady_clock;

// How long the outputs are still read after the group was killed: only a process that left the
// group can hold them open that long, and it is not waited for.
constexpr std::chrono::seconds kDrainAfterKill{2};
// cablewright runs its programmer in a process group of its own, out of reach of a kill of the
// child's group; a SIGTERM first lets it pass the stop on, and SIGKILL follows this much later.
constexpr std::chrono::milliseconds kTermGrace{500};

// This environment with child's variables set on top, as "NAME=value" entries. Made before the
// fork: between fork and exec only async-signal-safe calls are allowed, and another thread may
// hold the allocator's lock at the fork.
std::vector<std::string> environment_of(const ChildSpec& child) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const auto& [key, value] : child.env) {
            replaced = replaced || key == name;
        }
        if (!replaced) {
            entries.push_back(text);
        }
    }
    for (const auto& [key, value] : child.env) {
        entries.push_back(key + "=" + value);
    }
    return entries;
}

std::vector<char*> pointers_to(std::vector<std::string>& words) {
    std::vector<char*> pointers;
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

std::string system_failure(const char* what) {
    return std::string(what) + " failed: " + std::strerror(errno);
}

std::string overran(const ChildSpec& child) {
    return "killed after its deadline of " + std::to_string(child.deadline_ms) + " ms";
}

}  // namespace

ChildRun run_child(const ChildSpec& child) {
    ChildRun run;
    const bool whole_terminal = child.terminal == ChildSpec::Terminal::kWhole;
    int terminal = -1;
    if (child.terminal != ChildSpec::Terminal::kNone &&
        ((terminal = posix_openpt(O_RDWR | O_NOCTTY)) < 0 || grantpt(terminal) != 0 ||
         unlockpt(terminal) != 0)) {
        run.failure = system_failure("posix_openpt");
        close(terminal);
        return run;
    }
    const std::string terminal_name = terminal >= 0 ? ptsname(terminal) : "";
    // Made on a terminal too, where the child closes them at once.
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) {
        run.failure = system_failure("pipe");
        close(terminal);
        return run;
    }
    std::vector<std::string> words{child.program};
    words.insert(words.end(), child.args.begin(), child.args.end());
    std::vector<char*> argv = pointers_to(words);
    std::vector<std::string> environment = environment_of(child);
    std::vector<char*> envp = pointers_to(environment);

    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(child.deadline_ms);
    pid_t pid = fork();
    if (pid == 0) {
        int streams[3] = {in[0], out[1], err[1]};
        int tty = -1, null_device = -1;
        if (terminal >= 0) {
            // A session of its own, whose controlling terminal the first open makes this one.
            setsid();
            tty = open(terminal_name.c_str(), O_RDWR);
            termios modes{};
            tcgetattr(tty, &modes);
            if (whole_terminal) {
                modes.c_lflag |= ISIG;
                modes.c_cc[VINTR] = 3;
            } else {
                cfmakeraw(&modes);
            }
            tcsetattr(tty, TCSANOW, &modes);
            null_device = open("/dev/null", O_RDWR);
            streams[0] = streams[1] = whole_terminal ? tty : null_device;
            streams[2] = tty;
        } else {
            // Its own process group, so a signal reaches the programmer too, as from a console,
            // and the deadline ends everything the run started.
            setpgid(0, 0);
        }
        for (int fd = 0; fd < 3; ++fd) {
            dup2(streams[fd], fd);
        }
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1], terminal, tty, null_device}) {
            close(fd);
        }
        if (!child.folder.empty() && chdir(child.folder.c_str()) != 0) {
            _exit(126);
        }
        execve(child.program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (terminal >= 0) {
        // What the terminal shows is read in place of the output it stands for.
        int& shown = whole_terminal ? out[0] : err[0];
        close(shown);
        shown = terminal;
    }
    if (pid < 0) {
        run.failure = system_failure("fork");
        close(in[1]);
        close(out[0]);
        close(err[0]);
        return run;
    }
    // Set here too, so that the group exists whenever a signal or the deadline comes (a session
    // leader has its group already, and would refuse setsid in one made here first).
    if (terminal < 0) {
        setpgid(pid, pid);
    }
    run.started = true;
    signal(SIGPIPE, SIG_IGN);

    bool killed = false;
    bool hard_killed = false;
    Clock::time_point killed_at;
    auto kill_all = [&](const std::string& why) {
        if (!killed) {
            kill(-pid, SIGTERM);
            killed = true;
            killed_at = Clock::now();
            run.failure = why;
        }
    };
    auto kill_hard = [&] {
        if (killed && !hard_killed) {
            kill(-pid, SIGKILL);
            hard_killed = true;
        }
    };

    std::size_t fed = 0;
    if (child.input.empty() && !child.hold_input_open) {
        close(in[1]);
        in[1] = -1;
    }
    bool interrupted = child.interrupt_when.empty();
    bool triggered = false;
    auto trigger_time = Clock::now();
    bool out_open = true, err_open = true;
    while (out_open || err_open) {
        if (Clock::now() >= deadline) {
            kill_all(overran(child));
        }
        if (killed && Clock::now() - killed_at >= kTermGrace) {
            kill_hard();
        }
        if (killed && Clock::now() - killed_at >= kDrainAfterKill) {
            break;
        }
        pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
        bool feeding = in[1] >= 0 && fed < child.input.size();
        int n = poll(fds, feeding ? 3 : 2, 20);
        if (n < 0) {
            if (errno != EINTR) {
                kill_all(system_failure("poll"));
                break;
            }
            continue;
        }
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
                if (got > 0) {
                    (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(got));
                } else if (got == 0 || errno != EINTR) {
                    (i == 0 ? out_open : err_open) = false;
                }
            }
        }
        if (feeding && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t put = write(in[1], child.input.data() + fed, child.input.size() - fed);
            if (put > 0) {
                fed += static_cast<std::size_t>(put);
            }
            if ((put < 0 && errno != EINTR) || put == 0 ||
                (fed == child.input.size() && !child.hold_input_open)) {
                close(in[1]);
                in[1] = -1;
            }
        }
        if (!triggered && !interrupted &&
            (run.out.find(child.interrupt_when) != std::string::npos ||
             run.err.find(child.interrupt_when) != std::string::npos)) {
            triggered = true;
            trigger_time = Clock::now();
        }
        if (triggered && !interrupted &&
            Clock::now() - trigger_time >= std::chrono::milliseconds(child.interrupt_delay_ms)) {
            interrupted = true;
            if (child.before_interrupt) {
                child.before_interrupt();
            }
            if (whole_terminal) {
                (void)!write(terminal, "\x03", 1);  // Ctrl-C, typed
            } else {
                kill(-pid, child.interrupt_signal);
            }
        }
    }
    if (in[1] >= 0) {
        close(in[1]);
    }
    close(out[0]);
    close(err[0]);

    // A child may close its outputs and go on, so it is reaped by a thread of its own while this
    // one keeps the deadline. Only an interrupted wait is retried: any other failure would fail
    // the same way forever.
    auto reaped = std::async(std::launch::async, [pid] {
        int status = 0;
        pid_t got;
        while ((got = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
        }
        return std::make_pair(got == pid ? 0 : errno, status);
    });
    if (!killed && reaped.wait_until(deadline) == std::future_status::timeout) {
        kill_all(overran(child));
    }
    kill_hard();
    const auto [wait_error, status] = reaped.get();
    if (wait_error != 0) {
        errno = wait_error;
        std::string why = system_failure("waitpid");
        kill(-pid, SIGKILL);
        run.failure = run.failure.empty() ? why : run.failure + "; " + why;
        return run;
    }
    if (WIFSIGNALED(status)) {
        run.signalled = true;
        run.status = WTERMSIG(status);
    } else {
        run.status = WEXITSTATUS(status);
    }
    return run;
}
