#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "handoff/interrupt.h"
#include "handoff/process.h"
#include "handoff/programmer.h"

namespace {

std::string shell(const std::string& script) {
    return "/bin/sh -c " + quote_argument(script);
}

struct Outcome {
    bool ok;
    std::string stderr_text;
    long long took_ms;
};

Outcome run(const std::string& command_line, int timeout_ms = kProgrammerTimeoutMs) {
    testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = run_programmer(command_line, timeout_ms);
    const auto took = std::chrono::steady_clock::now() - start;
    return {ok, testing::internal::GetCapturedStderr(),
            std::chrono::duration_cast<std::chrono::milliseconds>(took).count()};
}

bool exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

struct ProgrammerCase {
    std::string command_line;
    bool ok;
    std::string message;  // what follows the echoed command line
};

TEST(RunProgrammer, ReportsHowTheProgrammerEnded) {
    const ProgrammerCase cases[] = {
        {shell("exit 0"), true, ""},
        {shell("echo from the programmer >&2"), true, "from the programmer\n"},
        {shell("exit 3"), false, "The programmer failed with exit status 3\n"},
        {shell("exit 255"), false, "The programmer failed with exit status 255\n"},
        {shell("kill -9 $$"), false, "The programmer failed with exit status 137\n"},
        {shell("kill -TERM $$"), false, "The programmer failed with exit status 143\n"},
        {"cablewright-no-such-programmer -c x", false, "Unable to start the programmer\n"},
        {"", false, "Unable to start the programmer\n"},
    };
    for (const ProgrammerCase& c : cases) {
        Outcome outcome = run(c.command_line);
        EXPECT_EQ(outcome.ok, c.ok) << c.command_line;
        EXPECT_EQ(outcome.stderr_text, c.command_line + "\n" + c.message);
    }
}

TEST(RunProgrammer, ArgumentsArriveAsWritten) {
    const std::string command_line = shell("printf '[%s]' \"$@\" >&2") + " sh " +
                                     quote_argument("a b") + " " + quote_argument("q\"uote") + " " +
                                     quote_argument("back\\") + " \"\"";
    Outcome outcome = run(command_line);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.stderr_text, command_line + "\n[a b][q\"uote][back\\][]");
}

TEST(RunProgrammer, StopsAProgrammerThatOverrunsItsLimit) {
    const std::string marker =
        testing::TempDir() + "cw_handoff_overrun_" + std::to_string(getpid());
    const std::string command_line = shell("sleep 1; touch " + quote_argument(marker));
    Outcome outcome = run(command_line, 200);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.stderr_text,
              command_line + "\nThe programmer did not finish within 60 seconds and was stopped\n");
    EXPECT_LT(outcome.took_ms, 900);
    // Had it merely been abandoned, it would create the marker after its second.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_FALSE(exists(marker));
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
TEST(RunProcess, AtTheLimitTheProgrammersChildrenAreStoppedToo) {
    const std::string pid_file =
        testing::TempDir() + "cw_handoff_grandchild_" + std::to_string(getpid());
    struct Case {
        const char* label;
        std::string script;
        long long min_ms;  // SIGKILL comes 2 s after SIGTERM
        long long max_ms;
    };
    const Case cases[] = {
        {"ends on SIGTERM", "sleep 30 & echo $! > " + quote_argument(pid_file) + "; wait", 100,
         1500},
        {"ignores SIGTERM",
         "trap '' TERM; sleep 30 & echo $! > " + quote_argument(pid_file) + "; sleep 30", 2100,
         4000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        unlink(pid_file.c_str());
        const auto start = std::chrono::steady_clock::now();
        ProcessResult result = run_process(shell(c.script), 100);
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
TEST(RunProcess, ProgrammerKeepsTheStartDispositionsAndReceivesInterrupts) {
    prepare_signals();
    arm_interrupt_guard();
    for (int signal_number : {SIGPIPE, SIGXFSZ, SIGTERM, SIGHUP}) {
        ProcessResult result =
            run_process(shell("kill -" + std::to_string(signal_number) + " $$; exit 0"), 5000);
        EXPECT_EQ(result.outcome, ProcessOutcome::kFinished);
        EXPECT_EQ(result.exit_status, 128 + signal_number);
    }
    testing::internal::CaptureStderr();
    std::thread interrupter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(getpid(), SIGTERM);
    });
    const auto start = std::chrono::steady_clock::now();
    ProcessResult result = run_process(shell("exec sleep 30"), 20000);
    const auto took = std::chrono::steady_clock::now() - start;
    interrupter.join();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(interrupt_requested());
    EXPECT_EQ(result.outcome, ProcessOutcome::kFinished);
    EXPECT_EQ(result.exit_status, 128 + SIGTERM);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 5000);
    finish_interrupt_guard();
}

TEST(RunProcess, QuickProcessIsNotHeldUpByTheLimit) {
    const auto start = std::chrono::steady_clock::now();
    ProcessResult result = run_process(shell("exit 7"), kProgrammerTimeoutMs);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 2000);
    EXPECT_EQ(result.outcome, ProcessOutcome::kFinished);
    EXPECT_EQ(result.exit_status, 7);
}

}  // namespace
