#include "handoff/jumper_prompt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

const char kReprogramScreen[] =
    "Please change daughter card jumpers to select reprogram mode:\n"
    "\n"
    "        (outside edge of board)\n"
    "---------------------------------------+\n"
    " o  o  o  o  o  o  o  o  o  o  o  o  o |\n"
    " o  o  o  o  o  o  o  o  o  o  o  o  o |\n"
    "                                       |\n"
    "             on               on       |\n"
    "      +=======+        +=======+       |\n"
    "    1 |    ###|      1 |    ###|       |\n"
    "    2 |    ###|      2 |    ###|       |\n"
    "    3 |    ###|      3 |    ###|       |\n"
    "    4 |###    |      4 |    ###|       |\n"
    "      +=======+        +=======+       |\n"
    "         S2                S1          |\n"
    "---------------------------------------+\n"
    "        (inside edge of board)\n"
    "\n"
    "Press ENTER when ready:";

const char kNormalScreen[] =
    "Please change daughter card jumpers to select normal mode:\n"
    "\n"
    "        (outside edge of board)\n"
    "---------------------------------------+\n"
    " o  o  o  o  o  o  o  o  o  o  o  o  o |\n"
    " o  o  o  o  o  o  o  o  o  o  o  o  o |\n"
    "                                       |\n"
    "             on               on       |\n"
    "      +=======+        +=======+       |\n"
    "    1 |    ###|      1 |###    |       |\n"
    "    2 |###    |      2 |###    |       |\n"
    "    3 |###    |      3 |###    |       |\n"
    "    4 |###    |      4 |###    |       |\n"
    "      +=======+        +=======+       |\n"
    "         S2                S1          |\n"
    "---------------------------------------+\n"
    "        (inside edge of board)\n"
    "\n"
    "Press ENTER when ready:";

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

TEST(JumperScreen, DrawsBothModesExactly) {
    EXPECT_EQ(format_jumper_screen(JumperMode::kReprogram), kReprogramScreen);
    EXPECT_EQ(format_jumper_screen(JumperMode::kNormal), kNormalScreen);
}

TEST(PromptJumpers, EachPromptConsumesOneWholeLine) {
    std::FILE* in = input_with("abc\n\nrest");
    ASSERT_NE(in, nullptr);
    testing::internal::CaptureStdout();
    prompt_jumpers(JumperMode::kReprogram, in);
    prompt_jumpers(JumperMode::kNormal, in);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string(kReprogramScreen) + "\n" + kNormalScreen + "\n");
    EXPECT_EQ(rest_of(in), "rest");
    std::fclose(in);
}

TEST(PromptJumpers, EndOfInputReturnsAtOnce) {
    const char* inputs[] = {"", "typed but never entered"};
    for (const char* text : inputs) {
        std::FILE* in = input_with(text);
        ASSERT_NE(in, nullptr);
        testing::internal::CaptureStdout();
        prompt_jumpers(JumperMode::kReprogram, in);
        prompt_jumpers(JumperMode::kNormal, in);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  std::string(kReprogramScreen) + "\n" + kNormalScreen + "\n")
            << text;
        std::fclose(in);
    }
}

}  // namespace
