#include "handoff/jumper_prompt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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

// Both screens are drawn exactly; each prompt consumes one whole line, and at the end of input it
// returns at once.
TEST(PromptJumpers, DrawsItsScreenAndConsumesOneWholeLine) {
    EXPECT_EQ(format_jumper_screen(JumperMode::kReprogram), kReprogramJumperScreen);
    EXPECT_EQ(format_jumper_screen(JumperMode::kNormal), kNormalJumperScreen);
    struct Case {
        const char* input;
        const char* rest;
    };
    const Case cases[] = {{"abc\n\nrest", "rest"}, {"", ""}, {"typed but never entered", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        std::FILE* in = input_with(c.input);
        ASSERT_NE(in, nullptr);
        testing::internal::CaptureStdout();
        prompt_jumpers(JumperMode::kReprogram, in);
        prompt_jumpers(JumperMode::kNormal, in);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  kReprogramJumperScreen + "\n" + kNormalJumperScreen + "\n");
        EXPECT_EQ(rest_of(in), c.rest);
        std::fclose(in);
    }
}

}  // namespace
