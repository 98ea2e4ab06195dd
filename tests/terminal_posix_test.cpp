// The run at a real terminal, a pseudo-terminal: who gets the user's Ctrl-C, and the countdown.
#include <chrono>
#include <string>

#include "tests/bench_fixture.h"

namespace {

using Terminal = BenchTest;

// The programmer holds the terminal's foreground while it runs, so the user's Ctrl-C goes to it
// alone; the run then honours that interrupt as its own once the cable is back.
TEST_F(Terminal, CtrlCTakenByTheProgrammerEndsTheRunSafely) {
    RomImage rom = cable_rom(3, 2, "101-0042", true);
    RomImage file = cable_rom(4, 2, "101-####", true);
    int id = add_cable("USB-1", &rom);
    change_settings([](BenchSettings& s) { s.programmer = {ProgrammerMode::kHang, 30}; });
    ChildSpec child = cablewright_child({"-c", "USB-1", write_pof("new.pof", file)});
    child.terminal = ChildSpec::Terminal::kWhole;
    child.interrupt_when = "vantor_pgm -c";
    child.interrupt_delay_ms = 500;
    child.deadline_ms = 60000;
    const auto start = std::chrono::steady_clock::now();
    ChildRun r = run(child);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.status, 8) << r.out;
    // The programmer got the Ctrl-C, not the run: its failure comes first, then the run's
    // acknowledgement.
    EXPECT_NE(
        terminal_screen(r.out).find("The programmer failed with exit status 130\n"
                                    "Stopping safely: the cable is returned to normal mode first\n"
                                    "Interrupted\n"),
        std::string::npos)
        << r.out;
    EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(took).count(), 20);
    CableRecord after = cable(id);
    EXPECT_FALSE(after.select_mode);
    EXPECT_EQ(after.rom, rom);
    EXPECT_FALSE(temp_file_left());
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The countdown during the mode switches shows on a terminal, leaves the screen exactly as a run
// without it would, and never reaches a pipe.
TEST_F(Terminal, CountdownShowsOnATerminalOnly) {
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
