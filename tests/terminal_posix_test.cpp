// The programmer holds the terminal's foreground while it runs, so the user's Ctrl-C goes to it
// alone; the run then honours that interrupt as its own once the cable is back.
#include <chrono>
#include <string>

#include "tests/bench_fixture.h"

namespace {

using Terminal = BenchTest;

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

}  // namespace
