#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

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

TEST(RunProcess, TimedOutProcessIsReaped) {
    ProcessResult result = run_process(shell("exec sleep 30"), 100);
    EXPECT_EQ(result.outcome, ProcessOutcome::kTimedOut);
    EXPECT_EQ(result.exit_status, 128 + 9);
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
