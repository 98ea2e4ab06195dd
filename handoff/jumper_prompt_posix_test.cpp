// The jumper prompt at a real terminal: a pseudo-terminal stands in for the user's keyboard.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <future>
#include <string>
#include <thread>

#include "handoff/jumper_prompt.h"
#include "testing/process_probe.h"

namespace {

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
    EXPECT_TRUE(wait_until([&] { return first_done.load(); }, 5000));
    EXPECT_TRUE(waiting_in_read(prompting_tid, terminal, 5000));
    EXPECT_FALSE(second_done) << "the second ENTER answered the next screen";
    type("\n");
    EXPECT_TRUE(wait_until([&] { return second_done.load(); }, 5000));
    // Whatever went wrong above, the thread must not be left waiting.
    for (int i = 0; i < 3 && !second_done; ++i) {
        type("\n");
        wait_until([&] { return second_done.load(); }, 1000);
    }
    user_at_the_bench.join();
    testing::internal::GetCapturedStdout();
    std::fclose(in);
    close(keyboard);
}

}  // namespace
