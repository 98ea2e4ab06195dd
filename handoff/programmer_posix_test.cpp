#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "handoff/interrupt.h"
#include "handoff/process.h"
#include "handoff/programmer.h"
#include "testing/kept_process_state.h"
#include "testing/process_probe.h"

namespace {

using Argv = std::vector<std::string>;

Argv shell(const std::string& script) {
    return {"/bin/sh", "-c", script};
}

using RunProcess = KeptProcessState;
using RunProgrammer = RunProcess;

// What run_programmer prints before it starts the programmer.
const char kShown[] = "the programmer's line";

struct Outcome {
    bool ok;
    std::string stderr_text;
    long long took_ms;
};

Outcome run(const Argv& argv) {
    testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = run_programmer({argv, kShown}, kProgrammerTimeoutMs);
    const auto took = std::chrono::steady_clock::now() - start;
    return {ok, testing::internal::GetCapturedStderr(),
            std::chrono::duration_cast<std::chrono::milliseconds>(took).count()};
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
        // No shell comes between: quotes, backslashes, blanks, globs and dollars arrive untouched.
        {{"/bin/sh", "-c", "printf '[%s]' \"$@\" >&2", "sh", "a b", "q\"uote", "back\\", "", "\\\"",
          " $HOME * ", "tab\tnew\nline"},
         true,
         "[a b][q\"uote][back\\][][\\\"][ $HOME * ][tab\tnew\nline]"},
    };
    for (const ProgrammerCase& c : cases) {
        SCOPED_TRACE(c.argv.empty() ? "no argv" : c.argv.back());
        Outcome outcome = run(c.argv);
        EXPECT_EQ(outcome.ok, c.ok);
        EXPECT_EQ(outcome.stderr_text, kShown + ("\n" + c.message));
        EXPECT_LT(outcome.took_ms, 2000);  // not held up by the limit
    }
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
        {"ends on SIGTERM", "sleep 30 & echo $! > '" + pid_file + "'; wait", 100, 900},
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
        EXPECT_TRUE(process_gone(grandchild, 2000));
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
    // The interrupt comes once the programmer has started: it sends it itself.
    testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    ProcessResult result = run_process({shell("kill -TERM $PPID; exec sleep 30"), ""}, 20000);
    const auto took = std::chrono::steady_clock::now() - start;
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
    ASSERT_TRUE(wait_until([&] { return count_in(counter) >= 2; }, 5000));
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

}  // namespace
