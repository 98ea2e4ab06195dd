// The jumper prompt at a real terminal: a pseudo-terminal stands in for the user's keyboard.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
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
    testing::internal::CaptureStdout();
    std::thread user_at_the_bench([&] {
        prompt_jumpers(JumperMode::kReprogram, in);
        first_done = true;
        prompt_jumpers(JumperMode::kNormal, in);
        second_done = true;
    });
    auto type = [&](const char* keys) {
        ASSERT_EQ(write(keyboard, keys, std::strlen(keys)),
                  static_cast<ssize_t>(std::strlen(keys)));
    };

    std::this_thread::sleep_for(300ms);  // the first screen is up and waiting
    type("\n\n");                        // a quick double ENTER
    EXPECT_TRUE(wait_for(first_done, 5000ms));
    EXPECT_FALSE(wait_for(second_done, 500ms)) << "the second ENTER answered the next screen";
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
