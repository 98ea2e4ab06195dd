#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "tests/child_process.h"

const char kProgramSuffix[] = "";
const char kPathListSeparator = ':';
const char kConsoleLineEnd[] = "\n";
const int kCrashExitStatus = 128 + SIGSEGV;

ChildRun run_child(const ChildSpec& child) {
    ChildRun run;
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) {
        return run;
    }
    std::vector<std::string> words{child.program};
    words.insert(words.end(), child.args.begin(), child.args.end());
    std::vector<char*> argv;
    for (auto& w : words) {
        argv.push_back(const_cast<char*>(w.c_str()));
    }
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        // Its own process group, so a signal reaches the programmer too, as from a console.
        setpgid(0, 0);
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
            close(fd);
        }
        for (const auto& [key, value] : child.env) {
            setenv(key.c_str(), value.c_str(), 1);
        }
        if (!child.folder.empty() && chdir(child.folder.c_str()) != 0) {
            _exit(126);
        }
        execv(child.program.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(in[1]);
        close(out[0]);
        close(err[0]);
        return run;
    }
    run.started = true;
    signal(SIGPIPE, SIG_IGN);
    std::size_t fed = 0;
    if (child.input.empty() && !child.hold_input_open) {
        close(in[1]);
        in[1] = -1;
    }
    bool interrupted = child.interrupt_when.empty();
    bool triggered = false;
    auto trigger_time = std::chrono::steady_clock::now();
    bool out_open = true, err_open = true;
    while (out_open || err_open) {
        pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
        bool feeding = in[1] >= 0 && fed < child.input.size();
        int n = poll(fds, feeding ? 3 : 2, 20);
        if (n < 0) {
            continue;
        }
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
                if (got > 0) {
                    (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(got));
                } else {
                    (i == 0 ? out_open : err_open) = false;
                }
            }
        }
        if (feeding && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t put = write(in[1], child.input.data() + fed, child.input.size() - fed);
            if (put > 0) {
                fed += static_cast<std::size_t>(put);
            }
            if (put <= 0 || (fed == child.input.size() && !child.hold_input_open)) {
                close(in[1]);
                in[1] = -1;
            }
        }
        if (!triggered && !interrupted &&
            (run.out.find(child.interrupt_when) != std::string::npos ||
             run.err.find(child.interrupt_when) != std::string::npos)) {
            triggered = true;
            trigger_time = std::chrono::steady_clock::now();
        }
        if (triggered && !interrupted &&
            std::chrono::steady_clock::now() - trigger_time >=
                std::chrono::milliseconds(child.interrupt_delay_ms)) {
            interrupted = true;
            kill(-pid, child.interrupt_signal);
        }
    }
    if (in[1] >= 0) {
        close(in[1]);
    }
    close(out[0]);
    close(err[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    if (WIFSIGNALED(status)) {
        run.signalled = true;
        run.status = WTERMSIG(status);
    } else {
        run.status = WEXITSTATUS(status);
    }
    return run;
}
