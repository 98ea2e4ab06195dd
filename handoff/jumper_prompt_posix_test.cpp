// The jumper prompt at a real terminal: a pseudo-terminal stands in for the user's keyboard.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <string>
#include <thread>

#include "handoff/jumper_prompt.h"

namespace {

using namespace std::chrono_literals;

bool wait_for(const std::atomic<bool>& flag, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!flag && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    return flag;
}

// True once thread tid of this process sleeps in a read of fd, within limit_ms: the prompt is
// waiting for a key. Linux names a sleeping thread's system call and its arguments in /proc.
bool waiting_in_read(pid_t tid, int fd, int limit_ms) {
    const std::string syscall_file = "/proc/self/task/" + std::to_string(tid) + "/syscall";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    for (;;) {
        long call = -1;
        unsigned long first_argument = 0;
        if (std::FILE* file = std::fopen(syscall_file.c_str(), "r")) {
            const int fields = std::fscanf(file, "%ld %lx", &call, &first_argument);
            std::fclose(file);
            if (fields == 2 && call == SYS_read &&
                first_argument == static_cast<unsigned long>(fd)) {
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

TEST(JumperPromptAtTerminal, EachScreenNeedsAnEnterOfItsOwn) {
    int keyboard = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(keyboard, 0);
    ASSERT_EQ(grantpt(keyboard), 0);
    ASSERT_EQ(unlockpt(keyboard), 0);
    int terminal = open(ptsname(keyboard), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    std::FILE* in = fdopen(terminal, "r");
    ASSERT_NE(in, nullptr);

    std::atomic<bool> first_done{false};
    std::atomic<bool> second_done{false};
    std::promise<pid_t> prompting;
    testing::internal::CaptureStdout();
    std::thread user_at_the_bench([&] {
        prompting.set_value(gettid());
        prompt_jumpers(JumperMode::kReprogram, in);
        first_done = true;
        prompt_jumpers(JumperMode::kNormal, in);
        second_done = true;
    });
    auto type = [&](const char* keys) {
        ASSERT_EQ(write(keyboard, keys, std::strlen(keys)),
                  static_cast<ssize_t>(std::strlen(keys)));
    };

    // A screen waits for ENTER once it reads the terminal, after the keys typed ahead went.
    const pid_t prompting_tid = prompting.get_future().get();
    EXPECT_TRUE(waiting_in_read(prompting_tid, terminal, 5000));
    type("\n\n");  // a quick double ENTER
    EXPECT_TRUE(wait_for(first_done, 5000ms));
    EXPECT_TRUE(waiting_in_read(prompting_tid, terminal, 5000));
    EXPECT_FALSE(second_done) << "the second ENTER answered the next screen";
    type("\n");
    EXPECT_TRUE(wait_for(second_done, 5000ms));
    // Whatever went wrong above, the thread must not be left waiting.
    for (int i = 0; i < 3 && !second_done; ++i) {
        type("\n");
        wait_for(second_done, 1000ms);
    }
    user_at_the_bench.join();
    testing::internal::GetCapturedStdout();
    std::fclose(in);
    close(keyboard);
}

}  // namespace
