#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "handoff/interrupt.h"
#include "handoff/process.h"
#include "handoff/programmer.h"

namespace {

using Argv = std::vector<std::string>;

Argv shell(const std::string& script) {
    return {"/bin/sh", "-c", script};
}

// Each test leaves the process as it found it: no interrupt recorded and the guard's handlers
// gone, the dispositions prepare_signals sets put back, and standard input, which the guard's
// handler turns into the null device, restored.
class RunProcess : public testing::Test {
  protected:
    void SetUp() override {
        input_ = dup(STDIN_FILENO);
        for (std::size_t i = 0; i < kPrepared.size(); ++i) {
            sigaction(kPrepared[i], nullptr, &dispositions_[i]);
        }
    }
    void TearDown() override {
        arm_interrupt_guard();  // which starts with no interrupt recorded
        finish_interrupt_guard();
        for (std::size_t i = 0; i < kPrepared.size(); ++i) {
            sigaction(kPrepared[i], &dispositions_[i], nullptr);
        }
        if (input_ >= 0) {
            dup2(input_, STDIN_FILENO);
            close(input_);
        }
    }

  private:
    static constexpr std::array<int, 3> kPrepared = {SIGCHLD, SIGPIPE, SIGXFSZ};
    std::array<struct sigaction, kPrepared.size()> dispositions_{};
    int input_ = -1;
};
using RunProgrammer = RunProcess;

// What run_programmer prints before it starts the programmer.
const char kShown[] = "the programmer's line";

struct Outcome {
    bool ok;
    std::string stderr_text;
    long long took_ms;
};

Outcome run(const Argv& argv, int timeout_ms = kProgrammerTimeoutMs) {
    testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = run_programmer({argv, kShown}, timeout_ms);
    const auto took = std::chrono::steady_clock::now() - start;
    return {ok, testing::internal::GetCapturedStderr(),
            std::chrono::duration_cast<std::chrono::milliseconds>(took).count()};
}

bool exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

struct ProgrammerCase {
    Argv argv;
    bool ok;
    std::string message;  // what follows the shown line
};

TEST_F(RunProgrammer, ReportsHowTheProgrammerEnded) {
    const ProgrammerCase cases[] = {
        {shell("exit 0"), true, ""},
        {shell("echo from the programmer >&2"), true, "from the programmer\n"},
        {shell("exit 3"), false, "The programmer failed with exit status 3\n"},
        {shell("exit 255"), false, "The programmer failed with exit status 255\n"},
        {shell("kill -9 $$"), false, "The programmer failed with exit status 137\n"},
        {shell("kill -TERM $$"), false, "The programmer failed with exit status 143\n"},
        {{"cablewright-no-such-programmer", "-c", "x"}, false, "Unable to start the programmer\n"},
        {{}, false, "Unable to start the programmer\n"},
    };
    for (const ProgrammerCase& c : cases) {
        SCOPED_TRACE(c.argv.empty() ? "no argv" : c.argv.back());
        Outcome outcome = run(c.argv);
        EXPECT_EQ(outcome.ok, c.ok);
        EXPECT_EQ(outcome.stderr_text, kShown + ("\n" + c.message));
    }
}

// No shell comes between: quotes, backslashes, blanks, globs and dollars arrive untouched.
TEST_F(RunProgrammer, ArgumentsArriveAsWritten) {
    Argv argv = shell("printf '[%s]' \"$@\" >&2");
    for (const char* argument :
         {"sh", "a b", "q\"uote", "back\\", "", "\\\"", " $HOME * ", "tab\tnew\nline"}) {
        argv.push_back(argument);
    }
    Outcome outcome = run(argv);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.stderr_text,
              kShown + std::string("\n[a b][q\"uote][back\\][][\\\"][ $HOME * ][tab\tnew\nline]"));
}

// True once every holder of the writing end of the pipe whose reading end is fd has closed
// it or ended, within limit_ms.
bool writers_gone(int fd, int limit_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd end{fd, POLLIN, 0};
        const int ready = poll(&end, 1, static_cast<int>(left.count()));
        char byte = 0;
        if (ready > 0 && read(fd, &byte, 1) == 0) {
            return true;
        }
    }
}

TEST_F(RunProgrammer, StopsAProgrammerThatOverrunsItsLimit) {
    const std::string marker =
        testing::TempDir() + "cw_handoff_overrun_" + std::to_string(getpid());
    // The programmer and what it starts inherit the writing end, so the pipe reads its end
    // once none of them is left.
    int alive[2];
    ASSERT_EQ(pipe(alive), 0);
    Outcome outcome = run(shell("sleep 1; touch '" + marker + "'"), 200);
    close(alive[1]);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.stderr_text,
              kShown + std::string("\nThe programmer did not finish within 60 seconds and was "
                                   "stopped\n"));
    EXPECT_LT(outcome.took_ms, 900);
    // Had it merely been abandoned, it would create the marker after its second, before it
    // ends.
    EXPECT_TRUE(writers_gone(alive[0], 2000));
    EXPECT_FALSE(exists(marker));
    close(alive[0]);
    unlink(marker.c_str());
}

// True once pid has ended (a zombie waiting for its new parent counts as ended).
bool process_gone(pid_t pid) {
    for (int i = 0; i < 200; ++i) {
        std::FILE* stat = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
        if (stat == nullptr) {
            return true;
        }
        char state = '?';
        const int fields = std::fscanf(stat, "%*d (%*[^)]) %c", &state);
        std::fclose(stat);
        if (fields == 1 && (state == 'Z' || state == 'X')) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// At the limit the programmer's whole process group goes, SIGKILL following SIGTERM: a child it
// started must not go on driving the cable while it is switched back.
TEST_F(RunProcess, AtTheLimitTheProgrammersChildrenAreStoppedToo) {
    const std::string pid_file =
        testing::TempDir() + "cw_handoff_grandchild_" + std::to_string(getpid());
    struct Case {
        const char* label;
        std::string script;
        long long min_ms;  // SIGKILL comes 2 s after SIGTERM
        long long max_ms;
    };
    const Case cases[] = {
        {"ends on SIGTERM", "sleep 30 & echo $! > '" + pid_file + "'; wait", 100, 1500},
        {"ignores SIGTERM", "trap '' TERM; sleep 30 & echo $! > '" + pid_file + "'; sleep 30", 2100,
         4000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        unlink(pid_file.c_str());
        const auto start = std::chrono::steady_clock::now();
        ProcessResult result = run_process({shell(c.script), ""}, 100);
        const auto took_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
        EXPECT_EQ(result.outcome, ProcessOutcome::kTimedOut);
        EXPECT_GE(took_ms, c.min_ms);
        EXPECT_LT(took_ms, c.max_ms);
        std::FILE* file = std::fopen(pid_file.c_str(), "r");
        ASSERT_NE(file, nullptr);
        int grandchild = 0;
        ASSERT_EQ(std::fscanf(file, "%d", &grandchild), 1);
        std::fclose(file);
        EXPECT_TRUE(process_gone(grandchild));
        unlink(pid_file.c_str());
    }
}

// The programmer gets the dispositions this program was started with, not the ignored SIGPIPE
// and SIGXFSZ nor the guard's handlers; and an interrupt the guard records reaches it at once.
TEST_F(RunProcess, ProgrammerKeepsTheStartDispositionsAndReceivesInterrupts) {
    prepare_signals();
    arm_interrupt_guard();
    for (int signal_number : {SIGPIPE, SIGXFSZ, SIGTERM, SIGHUP}) {
        ProcessResult result = run_process(
            {shell("kill -" + std::to_string(signal_number) + " $$; exit 0"), ""}, 5000);
        EXPECT_EQ(result.outcome, ProcessOutcome::kFinished);
        EXPECT_EQ(result.exit_status, 128 + signal_number);
    }
    // The interrupt comes once the programmer has started.
    const std::string started =
        testing::TempDir() + "cw_handoff_started_" + std::to_string(getpid());
    unlink(started.c_str());
    testing::internal::CaptureStderr();
    std::thread interrupter([&started] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!exists(started) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        kill(getpid(), SIGTERM);
    });
    const auto start = std::chrono::steady_clock::now();
    ProcessResult result = run_process({shell(": > '" + started + "'; exec sleep 30"), ""}, 20000);
    const auto took = std::chrono::steady_clock::now() - start;
    interrupter.join();
    unlink(started.c_str());
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(interrupt_requested());
    EXPECT_EQ(result.outcome, ProcessOutcome::kFinished);
    EXPECT_EQ(result.exit_status, 128 + SIGTERM);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 5000);
    finish_interrupt_guard();
}

// A bare name is looked for in PATH's absolute folders alone: a program of that name in the
// working folder, reached through an empty, "." or relative entry, never runs.
TEST_F(RunProcess, FindsTheProgramInAbsoluteFoldersOfPathOnly) {
    const std::string folder = testing::TempDir() + "cw_handoff_path_" + std::to_string(getpid());
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string program = folder + "/cw-path-probe";
    std::FILE* file = std::fopen(program.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("#!/bin/sh\nexit 5\n", file);
    std::fclose(file);
    ASSERT_EQ(chmod(program.c_str(), 0700), 0);
    const char* saved = std::getenv("PATH");
    const std::string saved_path = saved != nullptr ? saved : "";
    ChildSetup in_folder;
    in_folder.folder = folder;
    const std::string relative = "../" + folder.substr(folder.rfind('/') + 1);
    for (const std::string& path :
         {std::string(":/nonexistent"), std::string("."), "/nonexistent:" + relative}) {
        SCOPED_TRACE(path);
        setenv("PATH", path.c_str(), 1);
        EXPECT_EQ(run_process({{"cw-path-probe"}, ""}, 5000, in_folder).outcome,
                  ProcessOutcome::kNotStarted);
    }
    setenv("PATH", ("/nonexistent:" + folder).c_str(), 1);
    ProcessResult found = run_process({{"cw-path-probe"}, ""}, 5000);
    setenv("PATH", saved_path.c_str(), 1);
    EXPECT_EQ(found.outcome, ProcessOutcome::kFinished);
    EXPECT_EQ(found.exit_status, 5);
    unlink(program.c_str());
    rmdir(folder.c_str());
}

// The number a programmer that counts has written to path, or -1.
int count_in(const std::string& path) {
    int count = -1;
    if (std::FILE* file = std::fopen(path.c_str(), "r")) {
        if (std::fscanf(file, "%d", &count) != 1) {
            count = -1;
        }
        std::fclose(file);
    }
    return count;
}

// Ctrl-Z stops the whole run: this program stops (so a shell gets its prompt back) and the
// programmer with it; once continued both go on, and the time stopped does not count toward
// the limit. The run is a child in a process group of its own, as a shell's job.
TEST_F(RunProcess, CtrlZStopsTheProgrammerWithTheRunAndTheLimitExcludesTheStop) {
    const std::string counter =
        testing::TempDir() + "cw_handoff_counter_" + std::to_string(getpid());
    unlink(counter.c_str());
    // About a second of work, counted in tenths; the limit is two seconds.
    const std::string work =
        "i=0; while [ $i -lt 10 ]; do i=$((i+1)); echo $i > '" + counter + "'; sleep 0.1; done";
    const pid_t run = fork();
    ASSERT_GE(run, 0);
    if (run == 0) {
        setpgid(0, 0);
        const ProcessResult result = run_process({shell(work), ""}, 2000);
        _exit(result.outcome == ProcessOutcome::kFinished && result.exit_status == 0 ? 0 : 1);
    }
    setpgid(run, run);
    for (int i = 0; i < 500 && count_in(counter) < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(run, SIGTSTP);
    int status = 0;
    ASSERT_EQ(waitpid(run, &status, WUNTRACED), run);
    EXPECT_TRUE(WIFSTOPPED(status));
    EXPECT_EQ(WSTOPSIG(status), SIGTSTP);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int stopped_at = count_in(counter);
    std::this_thread::sleep_for(std::chrono::milliseconds(2200));
    EXPECT_EQ(count_in(counter), stopped_at) << "the programmer went on while the run was stopped";
    kill(run, SIGCONT);
    ASSERT_EQ(waitpid(run, &status, 0), run);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "stopped at the limit";
    EXPECT_EQ(count_in(counter), 10);
    unlink(counter.c_str());
}

TEST_F(RunProcess, QuickProcessIsNotHeldUpByTheLimit) {
    const auto start = std::chrono::steady_clock::now();
    ProcessResult result = run_process({shell("exit 7"), ""}, kProgrammerTimeoutMs);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 2000);
    EXPECT_EQ(result.outcome, ProcessOutcome::kFinished);
    EXPECT_EQ(result.exit_status, 7);
}

}  // namespace
