#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "handoff/process.h"
#include "handoff/signals_posix.h"

namespace {

using Clock = std::chrono::steady_clock;

// After SIGTERM the group gets this long to end before SIGKILL; after SIGKILL the programmer
// gets the second limit to be gone.
constexpr int kTermGraceMs = 2000;
constexpr int kKillGraceMs = 10000;

int decode_status(int status) {
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}

enum class Wait { kEnded, kLimit, kFailed };

// Waits until pid has ended (left unreaped, so that its group id cannot be reused meanwhile)
// or the deadline passes. SIGCHLD is blocked by the caller and taken here, so the end is
// noticed at once; an interrupt handled meanwhile only makes the loop look again.
Wait wait_for_end(pid_t pid, Clock::time_point deadline) {
    sigset_t child_ended;
    sigemptyset(&child_ended);
    sigaddset(&child_ended, SIGCHLD);
    for (;;) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
            if (errno == EINTR) {
                continue;
            }
            return Wait::kFailed;
        }
        if (info.si_pid == pid) {
            return Wait::kEnded;
        }
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            return Wait::kLimit;
        }
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec limit{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        sigtimedwait(&child_ended, nullptr, &limit);
    }
}

// The exit status of an ended pid, reaping it; -1 when that fails. end_signal, when given, gets
// the signal that ended it, or 0 when it exited.
int reap(pid_t pid, int* end_signal = nullptr) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    if (end_signal != nullptr) {
        *end_signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    return decode_status(status);
}

Clock::time_point after_ms(int ms) {
    return Clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0);
}

// The controlling terminal, when this program's group is in its foreground; -1 otherwise.
int foreground_terminal() {
    int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal >= 0 && tcgetpgrp(terminal) != getpgrp()) {
        close(terminal);
        terminal = -1;
    }
    return terminal;
}

// SIGTERM, then SIGKILL, to the whole group: a child the programmer started must not go on
// driving the cable while it is switched back.
ProcessResult stop_group(pid_t pid) {
    ProcessResult result;
    kill(-pid, SIGTERM);
    Wait wait = wait_for_end(pid, after_ms(kTermGraceMs));
    kill(-pid, SIGKILL);
    if (wait == Wait::kLimit) {
        wait = wait_for_end(pid, after_ms(kKillGraceMs));
    }
    if (wait == Wait::kLimit) {
        result.outcome = ProcessOutcome::kUnstoppable;
    } else if (wait == Wait::kFailed || reap(pid) < 0) {
        result.outcome = ProcessOutcome::kWaitFailed;
    } else {
        result.outcome = ProcessOutcome::kTimedOut;
    }
    return result;
}

// The full paths under which program is tried, in order: program itself when it names a path,
// otherwise program in each absolute folder of PATH (the C library's default when PATH is
// unset). A relative or empty entry would find a program beside the user's files.
std::vector<std::string> program_candidates(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return {program};
    }
    const char* path = std::getenv("PATH");
    const std::string folders = path != nullptr ? path : "/bin:/usr/bin";
    std::vector<std::string> candidates;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = folders.find(':', start);
        const std::string folder = folders.substr(start, end - start);
        if (!folder.empty() && folder[0] == '/') {
            candidates.push_back(folder + (folder.back() == '/' ? "" : "/") + program);
        }
        if (end == std::string::npos) {
            return candidates;
        }
        start = end + 1;
    }
}

// In the child: execs the first candidate that can be run, as execvp would. Returns the error
// that stopped it.
int exec_first(const std::vector<std::string>& candidates, std::vector<char*>& argv) {
    int error = ENOENT;
    for (const std::string& candidate : candidates) {
        execv(candidate.c_str(), argv.data());
        if (errno == EACCES) {
            error = EACCES;
        } else if (errno != ENOENT && errno != ENOTDIR) {
            return errno;
        }
    }
    return error;
}

// Starts argv in a group of its own, in setup's folder; returns its pid, or -1 when it could not
// be run. The child reports a failed exec through a pipe that a successful exec closes.
pid_t start_in_own_group(std::vector<char*>& argv, const ChildSetup& setup, int terminal,
                         const sigset_t& mask) {
    // Searched before the fork: the child only calls what is safe after one.
    const std::vector<std::string> candidates = program_candidates(argv[0]);
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return -1;
    }
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        if (terminal >= 0) {
            tcsetpgrp(terminal, getpid());
        }
        restore_start_dispositions();
        sigprocmask(SIG_SETMASK, &mask, nullptr);
        int error = 0;
        if (!setup.folder.empty() && chdir(setup.folder.c_str()) != 0) {
            error = errno;
        }
        for (std::intptr_t descriptor : setup.inherited) {
            if (error == 0 && fcntl(static_cast<int>(descriptor), F_SETFD, 0) != 0) {
                error = errno;
            }
        }
        if (error == 0) {
            error = exec_first(candidates, argv);
        }
        (void)!write(report[1], &error, sizeof error);
        _exit(127);
    }
    close(report[1]);
    if (pid > 0) {
        // Both sides set the group, whichever runs first.
        setpgid(pid, pid);
        if (terminal >= 0) {
            tcsetpgrp(terminal, pid);
        }
        int error = 0;
        ssize_t got = 0;
        do {
            got = read(report[0], &error, sizeof error);
        } while (got < 0 && errno == EINTR);
        if (got == static_cast<ssize_t>(sizeof error)) {
            reap(pid);
            pid = -1;
        }
    }
    close(report[0]);
    return pid;
}

}  // namespace

ProcessResult run_process(const ProcessCommand& command, int timeout_ms, const ChildSetup& setup) {
    const std::vector<std::string>& arguments = command.argv;
    ProcessResult result;
    if (arguments.empty()) {
        return result;
    }
    // execv takes the arguments as char*; they are never written to.
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    // SIGCHLD is taken by the wait; SIGTTOU would stop this program when it hands the terminal
    // on and takes it back from the background.
    sigset_t blocked;
    sigset_t previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGCHLD);
    sigaddset(&blocked, SIGTTOU);
    sigprocmask(SIG_BLOCK, &blocked, &previous);
    const int terminal = foreground_terminal();

    const pid_t pid = start_in_own_group(argv, setup, terminal, previous);
    if (pid > 0) {
        forward_interrupts_to(pid);
        const Wait wait = wait_for_end(pid, after_ms(timeout_ms));
        if (wait == Wait::kEnded) {
            result.exit_status = reap(pid, &result.end_signal);
            result.outcome =
                result.exit_status < 0 ? ProcessOutcome::kWaitFailed : ProcessOutcome::kFinished;
        } else if (wait == Wait::kLimit) {
            result = stop_group(pid);
        } else {
            result.outcome = ProcessOutcome::kWaitFailed;
        }
        forward_interrupts_to(0);
        result.held_terminal = terminal >= 0;
    }
    if (terminal >= 0) {
        tcsetpgrp(terminal, getpgrp());
        close(terminal);
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return result;
}
