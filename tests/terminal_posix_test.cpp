// The programmer holds the terminal's foreground while it runs, so the user's Ctrl-C goes to it
// alone; the run then honours that interrupt as its own once the cable is back.
#include <signal.h>

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

// An interrupt acknowledged while the jumper prompt or a countdown shows is on a line of its
// own, not glued to "Press ENTER when ready:" or to the count.
TEST_F(Terminal, AcknowledgementStartsALineOfItsOwn) {
    struct Case {
        const char* label;
        std::uint16_t hardware_id;
        ChildSpec::Terminal terminal;
        const char* when;
        std::string open;  // what the terminal shows just before the acknowledgement
    };
    const Case cases[] = {
        {"prompt", 1, ChildSpec::Terminal::kWhole,
         "Press ENTER when ready:", "Press ENTER when ready:^C"},
        {"countdown", 2, ChildSpec::Terminal::kStandardError,
         "Waiting for the cable to enter select mode (3 s)",
         "Waiting for the cable to enter select mode (3 s)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string name = std::string("USB-1 [") + c.label + "]";
        RomImage rom = cable_rom(3, c.hardware_id, "101-0042", true);
        add_cable(name, &rom);
        ChildSpec child = cablewright_child(
            {"-c", name, write_pof("new.pof", cable_rom(4, c.hardware_id, "101-####", true))});
        child.terminal = c.terminal;
        child.interrupt_when = c.when;
        child.interrupt_delay_ms = 200;
        child.interrupt_signal = SIGTERM;
        ChildRun r = run(child);
        EXPECT_EQ(r.status, 8);
        const std::string screen =
            terminal_screen(c.terminal == ChildSpec::Terminal::kWhole ? r.out : r.err);
        EXPECT_NE(screen.find(c.open + "\n" + kInterruptAck), std::string::npos) << screen;
    }
}

}  // namespace
