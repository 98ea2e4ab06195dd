// The run at a real terminal, a pseudo-terminal: keys typed while the programmer runs reach
// cablewright, which answers them for the whole run (Ctrl-C is acknowledged at once and passed on,
// and the run ends as interrupted whether or not the programmer gives in); and the countdown.
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <string>

#include "tests/bench_fixture.h"

namespace {

using Terminal = BenchTest;

TEST_F(Terminal, CtrlCDuringProgrammingIsAnsweredByTheRun) {
    struct Case {
        const char* label;
        bool programmer_ignores;  // a programmer that ignores Ctrl-C and finishes its work
        std::string tail;         // the run's last lines, after the acknowledgement
        bool programmed;
    };
    const Case cases[] = {
        {"programmer gives in", false, "The programmer failed with exit status 130\nInterrupted\n",
         false},
        {"programmer ignores it", true, "The cable was updated before the interrupt\nInterrupted\n",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string name = std::string("USB-1 [") + c.label + "]";
        RomImage rom = cable_rom(3, 2, "101-0042", true);
        RomImage file = cable_rom(4, 2, "101-####", true);
        int id = add_cable(name, &rom);
        ChildSpec child = cablewright_child({"-c", name, write_pof("new.pof", file)});
        change_settings([&c](BenchSettings& s) {
            s.programmer = {c.programmer_ignores ? ProgrammerMode::kNormal : ProgrammerMode::kHang,
                            30};
        });
        if (c.programmer_ignores) {
            // A vantor_pgm found first on PATH that ignores the key, waits, then programs.
            const std::string folder = root_ + "/stubborn";
            mkdir(folder.c_str(), 0700);
            std::ofstream(folder + "/vantor_pgm")
                << "#!/bin/sh\ntrap '' INT\nsleep 1\nexec \"$CW_REAL_PROGRAMMER\" \"$@\"\n";
            chmod((folder + "/vantor_pgm").c_str(), 0700);
            for (auto& variable : child.env) {
                if (variable.first == "PATH") {
                    const std::string real = variable.second.substr(0, variable.second.find(':'));
                    variable.second = folder + ":" + variable.second;
                    child.env.push_back({"CW_REAL_PROGRAMMER", real + "/vantor_pgm"});
                    break;
                }
            }
        }
        child.terminal = ChildSpec::Terminal::kWhole;
        child.interrupt_when = "vantor_pgm -c";
        child.interrupt_delay_ms = 300;
        child.deadline_ms = 30000;
        const auto start = std::chrono::steady_clock::now();
        ChildRun r = run(child);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(r.status, 8) << r.out;
        const std::string screen = terminal_screen(r.out);
        const std::size_t ack = screen.find(kInterruptAck);
        ASSERT_NE(ack, std::string::npos) << screen;
        // At once: before the programmer that ignores it is done.
        EXPECT_LT(ack, screen.find("Programming successful")) << screen;
        EXPECT_NE(screen.find(c.tail, ack), std::string::npos) << screen;
        EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(took).count(), 20);
        CableRecord after = cable(id);
        EXPECT_FALSE(after.select_mode);
        EXPECT_EQ(after.rom, c.programmed ? merged_image(rom, file) : rom);
        EXPECT_FALSE(temp_file_left());
    }
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
