// Interrupts in each phase of an update: before the temporary file nothing has changed and the
// process ends by the signal; afterwards the cable goes back to normal mode, the file is removed
// and the run ends with "Interrupted" and 8.
#include <signal.h>

#include "tests/bench_fixture.h"

namespace {

const char* const kCable = "USB-1";

struct InterruptCase {
    const char* name;
    std::uint16_t hardware_id;
    const char* when;  // output text after which the signal is sent
    int delay_ms;
    int signal;
    bool hang_programmer;
    std::string err_tail;  // after the POF line
    bool normal_screen;    // the normal-mode jumper screen is still shown
    bool programmed;
    bool reprogram_screen = false;  // the reprogram-mode jumper screen was shown
};

void PrintTo(const InterruptCase& c, std::ostream* os) {
    *os << c.name;
}

class Interrupt : public BenchTest, public testing::WithParamInterface<InterruptCase> {};

TEST_P(Interrupt, CableEndsInNormalModeWithItsRomIntact) {
    const InterruptCase& c = GetParam();
    RomImage rom = cable_rom(3, c.hardware_id, "101-0042", true);
    RomImage file = cable_rom(4, c.hardware_id, "101-####", true);
    int id = add_cable(kCable, &rom);
    if (c.hang_programmer) {
        change_settings([](BenchSettings& s) { s.programmer = {ProgrammerMode::kHang, 30}; });
    }
    ChildSpec child = cablewright_child({"-c", kCable, write_pof("new.pof", file)});
    child.interrupt_when = c.when;
    child.interrupt_delay_ms = c.delay_ms;
    child.interrupt_signal = c.signal;
    child.hold_input_open = true;  // a console where nobody presses ENTER
    ChildRun r = run(child);
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.err, update_head(kCable, rom, file) + c.err_tail + "Interrupted\n");
    EXPECT_EQ(r.out.find(kNormalJumperScreen) != std::string::npos, c.normal_screen);
    EXPECT_EQ(r.out.find(kReprogramJumperScreen) != std::string::npos, c.reprogram_screen);
    CableRecord after = cable(id);
    EXPECT_FALSE(after.select_mode);
    EXPECT_EQ(after.rom, c.programmed ? merged_image(rom, file) : rom);
    EXPECT_FALSE(temp_file_left());
}

// Arrives during the pause after entering select mode: the programmer is not started.
InterruptCase in_select_mode_pause(const char* name, int signal) {
    return {name, 2, "Merged ROM contents:", 1000, signal, false, kInterruptAck, false, false};
}

INSTANTIATE_TEST_SUITE_P(
    Phases, Interrupt,
    testing::Values(in_select_mode_pause("SelectModePause", SIGINT),
                    in_select_mode_pause("TerminateInSelectModePause", SIGTERM),
                    // A closed terminal, Ctrl-\, a stray timer or user signal: each is an interrupt
                    // like Ctrl-C.
                    in_select_mode_pause("HangupInSelectModePause", SIGHUP),
                    in_select_mode_pause("QuitInSelectModePause", SIGQUIT),
                    in_select_mode_pause("UserSignalInSelectModePause", SIGUSR1),
                    in_select_mode_pause("AlarmInSelectModePause", SIGALRM),
                    InterruptCase{"JumperPrompt", 1, "Press ENTER when ready:", 200, SIGINT, false,
                                  kInterruptAck, true, false, true},
                    // Nothing will be programmed, so the user is not asked to set the jumpers for
                    // it; they are still shown where they belong for normal mode.
                    InterruptCase{"JumperCableSelectModePause", 1, "Merged ROM contents:", 1000,
                                  SIGINT, false, kInterruptAck, true, false, false},
                    // The programmer, in a process group of its own, gets the same interrupt passed
                    // on and is waited for.
                    InterruptCase{"ProgrammerRunning", 2, "vantor_pgm -c", 500, SIGINT, true,
                                  std::string(kUsb1CommandLine) + kInterruptAck +
                                      "The programmer failed with exit status 130\n",
                                  false, false},
                    InterruptCase{"SwitchBack", 2, "Programming successful", 1000, SIGINT, false,
                                  std::string(kUsb1CommandLine) + kInterruptAck +
                                      "The cable was updated before the interrupt\n",
                                  false, true}),
    [](const testing::TestParamInfo<InterruptCase>& param_info) {
        return std::string(param_info.param.name);
    });

using InterruptBeforeChange = BenchTest;

// Until the temporary file exists nothing has changed, so the signal ends the process as usual.
TEST_F(InterruptBeforeChange, EndsByTheSignal) {
    RomImage rom = cable_rom(3, 2, "101-0042", true);
    add_cable(kCable, &rom);
    change_settings([](BenchSettings& s) {
        s.wait_scale_percent = 100;
        s.server_after_attempts = 80;
    });
    ChildSpec child = cablewright_child({});
    child.interrupt_when = "Connecting to server(s)";
    ChildRun r = run_child(child);
    EXPECT_EQ(r.failure, "");
    EXPECT_TRUE(r.signalled);
    EXPECT_EQ(r.status, SIGINT);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(temp_file_left());
}

}  // namespace
