#include "handoff/process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "handoff/argument_split.h"

extern char** environ;

namespace {

// Short enough that a quick child is noticed at once, long enough not to spin.
constexpr long kPollIntervalNs = 10L * 1000 * 1000;

int decode_status(int status) {
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}

// Blocks until pid is reaped; an interrupt signal must not abandon the child.
int reap(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return decode_status(status);
}

void sleep_briefly() {
    timespec interval{0, kPollIntervalNs};
    nanosleep(&interval, nullptr);
}

}  // namespace

ProcessResult run_process(const std::string& command_line, int timeout_ms) {
    ProcessResult result;
    std::vector<std::string> arguments = split_command_line(command_line);
    if (arguments.empty()) {
        return result;
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(&argument[0]);
    }
    argv.push_back(nullptr);

    // The child stays in our process group so that the user's Ctrl-C reaches it as well.
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return result;
    }

    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(timeout_ms > 0 ? timeout_ms : 0);
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            result.outcome = ProcessOutcome::kFinished;
            result.exit_status = decode_status(status);
            return result;
        }
        if (done < 0 && errno != EINTR) {
            // Someone else reaped it (SIGCHLD ignored): it ended, with a status we cannot know.
            result.outcome = ProcessOutcome::kFinished;
            result.exit_status = -1;
            return result;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        sleep_briefly();
    }

    kill(pid, SIGKILL);
    result.outcome = ProcessOutcome::kTimedOut;
    result.exit_status = reap(pid);
    return result;
}
