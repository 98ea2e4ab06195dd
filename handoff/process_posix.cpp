#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
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

// Ctrl-Z, taken by the wait: stops the programmer's group, then this program as the terminal
// asked, so that the shell gets its prompt back; once continued (fg), continues the group.
// Returns how long the run was stopped. SIGTSTP is blocked by the caller.
Clock::duration stop_whole_run(pid_t group) {
    const auto stopped_at = Clock::now();
    kill(-group, SIGSTOP);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    // Raised again while blocked, it stops this program as soon as it is let through (in an
    // orphaned process group the system discards it, and the run simply goes on).
    raise(SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    kill(-group, SIGCONT);
    return Clock::now() - stopped_at;
}

// Waits until pid has ended (left unreaped, so that its group id cannot be reused meanwhile)
// or the deadline passes; time the run spends stopped by Ctrl-Z does not count. SIGCHLD and
// SIGTSTP are blocked by the caller and taken here, so the end is noticed at once; an interrupt
// handled meanwhile only makes the loop look again.
Wait wait_for_end(pid_t pid, Clock::time_point deadline) {
    sigset_t taken;
    sigemptyset(&taken);
    sigaddset(&taken, SIGCHLD);
    sigaddset(&taken, SIGTSTP);
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
        if (sigtimedwait(&taken, nullptr, &limit) == SIGTSTP) {
            deadline += stop_whole_run(pid);
        }
    }
}

// The exit status of an ended pid, reaping it; -1 when that fails.
int reap(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return decode_status(status);
}

Clock::time_point after_ms(int ms) {
    return Clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0);
}

// SIGTERM, then SIGKILL, to the whole group: a child the programmer started must not go on
// driving the cable while it is switched back.
ProcessResult stop_group(pid_t pid) {
    ProcessResult result;
    kill(-pid, SIGTERM);
    // A stopped programmer must run again to act on it.
    kill(-pid, SIGCONT);
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
pid_t start_in_own_group(std::vector<char*>& argv, const ChildSetup& setup, const sigset_t& mask) {
    // Searched before the fork: the child only calls what is safe after one.
    const std::vector<std::string> candidates = program_candidates(argv[0]);
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return -1;
    }
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
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

    // Taken by the wait: the programmer's end, and Ctrl-Z. This program keeps the terminal's
    // foreground, so that each key the user types there (Ctrl-C, Ctrl-\, Ctrl-Z) reaches it
    // and is answered for the whole run, whatever the programmer does with it.
    sigset_t blocked;
    sigset_t previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGCHLD);
    sigaddset(&blocked, SIGTSTP);
    sigprocmask(SIG_BLOCK, &blocked, &previous);

    const pid_t pid = start_in_own_group(argv, setup, previous);
    if (pid > 0) {
        forward_interrupts_to(pid);
        const Wait wait = wait_for_end(pid, after_ms(timeout_ms));
        if (wait == Wait::kEnded) {
            result.exit_status = reap(pid);
            result.outcome =
                result.exit_status < 0 ? ProcessOutcome::kWaitFailed : ProcessOutcome::kFinished;
        } else if (wait == Wait::kLimit) {
            result = stop_group(pid);
        } else {
            result.outcome = ProcessOutcome::kWaitFailed;
        }
        forward_interrupts_to(0);
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return result;
}
