#include "handoff/programmer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "handoff/argument_split.h"

namespace {

TEST(QuoteArgument, PlainTextIsOnlyWrapped) {
    EXPECT_EQ(quote_argument("USB-1 [1-1]"), "\"USB-1 [1-1]\"");
    EXPECT_EQ(quote_argument(R"(C:\dir\file.pof)"), R"("C:\dir\file.pof")");
    EXPECT_EQ(quote_argument(""), "\"\"");
}

TEST(QuoteArgument, ReachesTheProgramAsExactlyOneArgument) {
    std::string long_text;
    for (int i = 0; i < 10000; ++i) {
        long_text += "a \\\"\t"[i % 5];
    }
    const std::string texts[] = {
        "",
        "plain",
        "two words",
        "  leading and trailing  ",
        "tab\there",
        "\"",
        "quote\"inside",
        "a\"\"b",
        "trail\\",
        "trail\\\\",
        "back\\\"quote",
        "\\\\\"",
        R"(C:\Program Files\)",
        R"(\\server\share\file.pof)",
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE6\x97\xA5",
        "\x80\xFF raw bytes",
        long_text,
    };
    for (const std::string& text : texts) {
        std::vector<std::string> expected = {"prog", text};
        EXPECT_EQ(split_command_line("prog " + quote_argument(text)), expected) << text;
    }
}

TEST(ProgrammerCommandLine, MatchesTheProgrammersSyntax) {
    EXPECT_EQ(programmer_command_line("USB-1 [1-1]", "cablewright.tmp.pof"),
              "vantor_pgm -c \"USB-1 [1-1]\" -m jtag -o \"p;cablewright.tmp.pof\"");

    const std::string cable = "odd \"name\" \\";
    const std::string path(10000, 'p');
    std::vector<std::string> expected = {"vantor_pgm", "-c", cable,      "-m",
                                         "jtag",       "-o", "p;" + path};
    EXPECT_EQ(split_command_line(programmer_command_line(cable, path)), expected);
}

}  // namespace
