#include "cable/countdown.h"

#include <gtest/gtest.h>

#include "common/message.h"

#include <string>
#include <vector>

namespace {

std::vector<std::uint32_t> g_pauses;

bool g_message_in_pause = false;

void record_pause(std::uint32_t ms) {
    g_pauses.push_back(ms);
    if (g_message_in_pause) {
        put_message("message\n");
    }
}

std::string count_down_text(std::uint32_t ms, const char* what) {
    g_pauses.clear();
    std::FILE* out = std::tmpfile();
    EXPECT_NE(out, nullptr);
    count_down(out, ms, what, record_pause);
    std::rewind(out);
    std::string text;
    for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) {
        text += static_cast<char>(c);
    }
    std::fclose(out);
    return text;
}

TEST(Countdown, CountsSecondsAndErasesItsLine) {
    struct Case {
        std::uint32_t ms;
        std::string text;
        std::vector<std::uint32_t> pauses;
    };
    const Case cases[] = {
        {3000,
         "\rWait (3 s)\rWait (2 s)\rWait (1 s)\r" + std::string(10, ' ') + "\r",
         {1000, 1000, 1000}},
        // A part of a second is waited first, so each count stays true for its whole step.
        {1500, "\rWait (2 s)\rWait (1 s)\r" + std::string(10, ' ') + "\r", {500, 1000}},
        // From ten seconds down the line shrinks: padding covers the old last character.
        {10000,
         "\rWait (10 s)\rWait (9 s) \rWait (8 s) \rWait (7 s) \rWait (6 s) \rWait (5 s) "
         "\rWait (4 s) \rWait (3 s) \rWait (2 s) \rWait (1 s) \r" +
             std::string(11, ' ') + "\r",
         std::vector<std::uint32_t>(10, 1000)},
        {0, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ms);
        EXPECT_EQ(count_down_text(c.ms, "Wait"), c.text);
        EXPECT_EQ(g_pauses, c.pauses);
    }
}

// A message printed while the countdown shows (an interrupt's, say) starts on a line of its own,
// and only then: the line end goes to standard error alone and is not repeated.
TEST(Countdown, MessageMeanwhileStartsOnANewLine) {
    g_message_in_pause = true;
    testing::internal::CaptureStderr();
    const std::string text = count_down_text(2000, "Wait");
    put_message("done\n");  // the countdown is gone: no line to end
    g_message_in_pause = false;
    EXPECT_EQ(text, "\rWait (2 s)\rWait (1 s)\r" + std::string(10, ' ') + "\r");
    // Each redraw is open again, below the message.
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nmessage\n\nmessage\ndone\n");
}

}  // namespace
