#include "handoff/argument_split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SplitCase {
    const char* command_line;
    std::vector<std::string> arguments;
};

TEST(SplitCommandLine, FollowsWindowsRules) {
    const SplitCase cases[] = {
        {"", {}},
        {" \t ", {}},
        {"prog", {"prog"}},
        {"  prog  a\tb  ", {"prog", "a", "b"}},
        {R"(prog "abc" d e)", {"prog", "abc", "d", "e"}},
        {R"(prog a\\b d"e f"g h)", {"prog", R"(a\\b)", "de fg", "h"}},
        {R"(prog a\\\"b c d)", {"prog", R"(a\"b)", "c", "d"}},
        {R"(prog a\\\\"b c" d e)", {"prog", R"(a\\b c)", "d", "e"}},
        {R"(prog a"b"" c d)", {"prog", R"(ab" c d)"}},
        {R"(prog "a\\" b)", {"prog", R"(a\)", "b"}},
        {R"(prog "" x "")", {"prog", "", "x", ""}},
        {R"(prog "unclosed  text)", {"prog", "unclosed  text"}},
        {R"(prog trailing\)", {"prog", R"(trailing\)"}},
        {"prog a\nb\vc", {"prog", "a\nb\vc"}},
        // The program name knows no backslash escapes.
        {R"("C:\Program Files\pgm.exe" -c)", {R"(C:\Program Files\pgm.exe)", "-c"}},
        {R"(C:\dir\ x)", {R"(C:\dir\)", "x"}},
        {R"(C:\a\"b c"d e)", {R"(C:\a\b cd)", "e"}},
    };
    for (const SplitCase& c : cases) {
        EXPECT_EQ(split_command_line(c.command_line), c.arguments) << c.command_line;
    }
}

}  // namespace
