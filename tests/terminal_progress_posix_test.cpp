// The countdown during the mode switches, seen through a pseudo-terminal: it shows there, it
// leaves the screen exactly as a run without it would, and it never reaches a pipe.
#include <string>
#include <vector>

#include "tests/bench_fixture.h"

namespace {

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

using TerminalProgress = BenchTest;

TEST_F(TerminalProgress, CountdownShowsOnATerminalOnly) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    add_cable("USB-1 [1-1]", &rom);
    add_cable("USB-1 [1-2]", &rom);
    std::string file = write_pof("new.pof", cable_rom(4, 2, "AB-##", true));

    // Standard error alone on a raw terminal (no line-end translation).
    ChildSpec on_terminal = cablewright_child({"-c", "USB-1 [1-1]", file});
    on_terminal.terminal = ChildSpec::Terminal::kStandardError;
    ChildRun seen = run(on_terminal);
    ChildRun piped = cablewright({"-c", "USB-1 [1-2]", file});
    EXPECT_EQ(seen.status, 0);
    EXPECT_EQ(piped.status, 0);

    for (const char* what : {"\rWaiting for the cable to enter select mode (3 s)",
                             "\rWaiting for the cable to enter select mode (1 s)",
                             "\rWaiting for the cable to leave select mode (2 s)"}) {
        EXPECT_NE(seen.err.find(what), std::string::npos) << what;
    }
    EXPECT_EQ(piped.err.find("Waiting"), std::string::npos);
    EXPECT_EQ(terminal_screen(seen.err),
              terminal_screen(replaced(piped.err, "USB-1 [1-2]", "USB-1 [1-1]")));
}

}  // namespace
