#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "handoff/interrupt.h"
#include "handoff/jumper_prompt.h"
#include "handoff/programmer.h"
#include "testing/jumper_screens.h"
#include "testing/kept_process_state.h"
#include "testing/process_probe.h"

namespace {

using InterruptGuard = KeptProcessState;

// Any signal that would end the run is only recorded, and the first one says so at once.
TEST_F(InterruptGuard, ArmedSignalsAreOnlyRecordedAndAcknowledgedOnce) {
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM,
                              SIGVTALRM, SIGPROF, SIGXCPU, SIGIO, SIGRTMIN, SIGRTMAX}) {
        arm_interrupt_guard();
        EXPECT_FALSE(interrupt_requested());
        testing::internal::CaptureStderr();
        raise(signal_number);
        raise(signal_number);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Stopping safely: the cable is returned to normal mode first\n")
            << signal_number;
        EXPECT_TRUE(interrupt_requested()) << signal_number;
        finish_interrupt_guard();
    }
}

// Before the guard is armed, and once the cleanup is done, a signal acts as it did when the
// program started.
TEST_F(InterruptGuard, UnarmedOrFinishedGuardLetsSignalsEndTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(raise(SIGINT), testing::KilledBySignal(SIGINT), "");
    EXPECT_EXIT(
        {
            arm_interrupt_guard();
            finish_interrupt_guard();
            raise(SIGHUP);
        },
        testing::KilledBySignal(SIGHUP), "");
}

// A fault signal that another process sent is an interrupt; one this process raised (or a real
// fault) keeps its default action.
TEST_F(InterruptGuard, FaultSignalsSentByAnotherProcessAreInterrupts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const rlimit no_core{0, 0};
    for (int signal_number : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) {
        SCOPED_TRACE(signal_number);
        EXPECT_EXIT(
            {
                arm_interrupt_guard();
                const pid_t sender = fork();
                if (sender == 0) {
                    kill(getppid(), signal_number);
                    _exit(0);
                }
                waitpid(sender, nullptr, 0);
                _exit(interrupt_requested() ? 0 : 1);
            },
            testing::ExitedWithCode(0), "Stopping safely");
        EXPECT_EXIT(
            {
                setrlimit(RLIMIT_CORE, &no_core);
                arm_interrupt_guard();
                kill(getpid(), signal_number);
                _exit(0);
            },
            testing::KilledBySignal(signal_number), "");
    }
}

// After an interrupt the programmer is not started and a prompt reads nothing.
TEST_F(InterruptGuard, NothingIsStartedOrReadAfterAnInterrupt) {
    arm_interrupt_guard();
    raise(SIGINT);
    ASSERT_TRUE(interrupt_requested());
    const std::string marker =
        testing::TempDir() + "cw_handoff_interrupted_" + std::to_string(getpid());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(run_programmer({{"/bin/sh", "-c", "touch '" + marker + "'"}, "touch"}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(access(marker.c_str(), F_OK), 0);
    unlink(marker.c_str());

    std::FILE* in = std::tmpfile();
    ASSERT_NE(in, nullptr);
    std::fputs("abc\n", in);
    std::rewind(in);
    testing::internal::CaptureStdout();
    prompt_jumpers(JumperMode::kReprogram, in);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kReprogramJumperScreen + "\n");
    EXPECT_EQ(std::fgetc(in), 'a');
    std::fclose(in);
}

TEST_F(InterruptGuard, InterruptEndsAWaitingPrompt) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::FILE* in = fdopen(fds[0], "r");
    ASSERT_NE(in, nullptr);
    arm_interrupt_guard();

    // The prompt blocks on a pipe that stays open; the interrupt, sent once it waits there, must
    // be what ends it. Should it not, a line arrives after a while so that the test fails
    // instead of hanging.
    const pthread_t prompting_thread = pthread_self();
    const pid_t prompting_tid = gettid();
    std::atomic<bool> prompt_returned{false};
    std::thread interrupter([&] {
        EXPECT_TRUE(waiting_in_read(prompting_tid, fds[0], 5000));
        pthread_kill(prompting_thread, SIGINT);
        if (!wait_until([&] { return prompt_returned.load(); }, 5000)) {
            (void)!write(fds[1], "\n", 1);
        }
    });

    testing::internal::CaptureStdout();
    const auto start = std::chrono::steady_clock::now();
    prompt_jumpers(JumperMode::kNormal, in);
    const auto took_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    prompt_returned.store(true);
    interrupter.join();

    EXPECT_EQ(testing::internal::GetCapturedStdout(), kNormalJumperScreen + "\n");
    EXPECT_TRUE(interrupt_requested());
    EXPECT_LT(took_ms, 3000);
    std::fclose(in);
    close(fds[1]);
}

// A prompt that had not yet begun its read when the signal came must not wait for ENTER: after
// an interrupt, standard input reads as empty.
TEST_F(InterruptGuard, StandardInputReadsEmptyAfterAnInterrupt) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(fds[0], STDIN_FILENO);  // the writing end stays open: a read would block
        arm_interrupt_guard();
        raise(SIGINT);
        char c = 0;
        _exit(read(STDIN_FILENO, &c, 1) == 0 ? 0 : 1);
    }
    int status = 0;
    if (!wait_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 5000)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the read blocked";
    }
    close(fds[0]);
    close(fds[1]);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
