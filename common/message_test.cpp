#include "common/message.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

bool g_printed = false;
bool printed() {
    return g_printed;
}

TEST(Message, PrintsAsGivenAndKeepsWholeLinesInOrder) {
    Lines lines;
    g_printed = false;
    testing::internal::CaptureStderr();
    put_message("before keeping\n");
    keep_messages(&lines, OutsideLine{printed, "Stopping"});
    print_message("%s %d\n", "first", 1);
    put_message("two\nlines\n");
    put_message("  Unable to lock chain (Timeout)\n\n");
    g_printed = true;  // the outside line goes before the next line kept
    put_message("an unended ");
    put_message("line\nlast without end");
    keep_messages(nullptr);
    put_message("after keeping\n");
    EXPECT_EQ(
        "before keeping\nfirst 1\ntwo\nlines\n  Unable to lock chain (Timeout)\n\nan unended "
        "line\nlast without endafter keeping\n",
        testing::internal::GetCapturedStderr());
    EXPECT_EQ((Lines{"first 1", "two", "lines", "  Unable to lock chain (Timeout)", "", "Stopping",
                     "an unended line", "last without end"}),
              lines);
}

}  // namespace
