#include "handoff/jumper_prompt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/message.h"
#include "handoff/interrupt.h"
#include "testing/jumper_screens.h"

namespace {

// A seekable stream holding text, read from its start.
std::FILE* input_with(const std::string& text) {
    std::FILE* in = std::tmpfile();
    if (in != nullptr) {
        std::fwrite(text.data(), 1, text.size(), in);
        std::rewind(in);
    }
    return in;
}

std::string rest_of(std::FILE* in) {
    std::string rest;
    for (int c = std::fgetc(in); c != EOF; c = std::fgetc(in)) {
        rest += static_cast<char>(c);
    }
    return rest;
}

// Both screens are drawn exactly.
TEST(PromptJumpers, DrawsBothScreens) {
    EXPECT_EQ(format_jumper_screen(JumperMode::kReprogram), kReprogramJumperScreen);
    EXPECT_EQ(format_jumper_screen(JumperMode::kNormal), kNormalJumperScreen);
}

TEST(PromptJumpers, EachPromptConsumesOneWholeLine) {
    std::FILE* in = input_with("abc\n\nrest");
    ASSERT_NE(in, nullptr);
    testing::internal::CaptureStdout();
    prompt_jumpers(JumperMode::kReprogram, in);
    prompt_jumpers(JumperMode::kNormal, in);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string(kReprogramJumperScreen) + "\n" + kNormalJumperScreen + "\n");
    EXPECT_EQ(rest_of(in), "rest");
    std::fclose(in);
}

// End of input is nobody's yes: the first screen records an interrupt (acknowledged once) and
// the next is shown without waiting.
TEST(PromptJumpers, EndOfInputIsAnInterrupt) {
    const char* inputs[] = {"", "typed but never entered"};
    for (const char* text : inputs) {
        std::FILE* in = input_with(text);
        ASSERT_NE(in, nullptr);
        arm_interrupt_guard();
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        prompt_jumpers(JumperMode::kReprogram, in);
        EXPECT_TRUE(interrupt_requested()) << text;
        prompt_jumpers(JumperMode::kNormal, in);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string(kInterruptAcknowledgement) + "\n");
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  std::string(kReprogramJumperScreen) + "\n" + kNormalJumperScreen + "\n")
            << text;
        finish_interrupt_guard();
        arm_interrupt_guard();  // which forgets the interrupt
        finish_interrupt_guard();
        std::fclose(in);
    }
}

}  // namespace
