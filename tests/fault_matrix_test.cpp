// Every stand-in fault at each of the run's cable operations. For every cell: the exit status and
// message, the chain free afterwards, the cable in normal mode unless the switch back itself
// failed, its identity unchanged unless programming succeeded, and no temporary file left.
#include <ostream>

#include "sim/file_lock.h"
#include "tests/bench_fixture.h"

namespace {

const char* const kCable = "USB-1";

// Where in the run a fault strikes. Counting the library calls of one update: the ROM read,
// entering select mode, the second read right before programming, the programmer's own lookup,
// leaving select mode, the read-back.
enum class Stage { kRead, kEnter, kReread, kProgrammer, kLeave, kReadBack };

struct Cell {
    const char* name;
    ForcedError CableFaults::*fault;
    ForcedError error;
    Stage stage;
    int status;
    std::string message;  // standard error after the POF line (or the cable name, at kRead)
    bool programmed;      // the merged image reached the cable
    bool select_mode;     // the cable stays in select mode
};

void PrintTo(const Cell& c, std::ostream* os) {
    *os << c.name;
}

class FaultMatrix : public BenchTest, public testing::WithParamInterface<Cell> {};

TEST_P(FaultMatrix, Cell) {
    const Cell& c = GetParam();
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    RomImage file = cable_rom(4, 2, "AB-##", true);
    RomImage result = merged_image(rom, file);
    int id = add_cable(kCable, &rom);
    change_cable(id, [&c](CableRecord& r) { r.faults.*(c.fault) = c.error; });

    ChildRun r = cablewright({"-c", kCable, write_pof("new.pof", file)});
    EXPECT_EQ(r.status, c.status);

    std::string err = std::string("Reprogramming cable ") + kCable + "\n";
    std::string out;
    if (c.stage != Stage::kRead) {
        err += cable_line(rom) + pof_line(file);
        out = rom_dump("Cable", rom) + rom_dump("pof file", file) + rom_dump("Merged", result);
    }
    if (c.stage == Stage::kProgrammer || c.stage == Stage::kLeave || c.stage == Stage::kReadBack) {
        err += kUsb1CommandLine;
    }
    if (c.stage == Stage::kLeave || c.stage == Stage::kReadBack) {
        out += programmer_report(kCable, result);
    }
    EXPECT_EQ(r.out, console(out));
    EXPECT_EQ(r.err, console(err + c.message));

    CableRecord after = cable(id);
    EXPECT_EQ(after.select_mode, c.select_mode);
    EXPECT_EQ(after.rom, c.programmed ? result : rom);
    EXPECT_FALSE(temp_file_left());
    FileLock lock;
    EXPECT_EQ(try_lock_file(cable_lock_path(bench_, id), lock), LockAttempt::kAcquired);
    unlock_file(lock);
}

const std::string kNotFound = "Unable to find jtag cable \"USB-1\"\n";
const std::string kNotAttached = "Error (Hardware not attached) when scanning hardware\n";
const std::string kInUse = "Error (Chain in use) when locking chain\n";
const std::string kReadFailed = "Error (Hardware not attached) when reading EEPROM contents\n";
const std::string kSwitchFailed = "Error (Invalid parameter) when setting zan mode\n";

// A fault that strikes once, after `after` calls of its kind succeeded.
ForcedError once_after(std::uint32_t code, std::uint32_t after) {
    return {code, true, after};
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultMatrix,
    testing::Values(
        Cell{"ReadNoSuchCable", &CableFaults::find, once_after(1, 0), Stage::kRead, 12, kNotFound,
             false, false},
        Cell{"ReadLookupError", &CableFaults::find, once_after(86, 0), Stage::kRead, 12,
             kNotAttached, false, false},
        Cell{"ReadLock", &CableFaults::lock, once_after(36, 0), Stage::kRead, 8, kInUse, false,
             false},
        Cell{"ReadRom", &CableFaults::rom_read, once_after(86, 0), Stage::kRead, 8, kReadFailed,
             false, false},
        Cell{"EnterNoSuchCable", &CableFaults::find, once_after(1, 1), Stage::kEnter, 8, kNotFound,
             false, false},
        Cell{"EnterLookupError", &CableFaults::find, once_after(86, 1), Stage::kEnter, 8,
             kNotAttached, false, false},
        Cell{"EnterLock", &CableFaults::lock, once_after(36, 1), Stage::kEnter, 8, kInUse, false,
             false},
        Cell{"EnterSwitch", &CableFaults::set_parameter, once_after(45, 0), Stage::kEnter, 8,
             kSwitchFailed, false, false},
        // A cable that cannot be read again is not known to be the same: nothing is programmed.
        Cell{"RereadNoSuchCable", &CableFaults::find, once_after(1, 2), Stage::kReread, 8,
             kNotFound, false, false},
        Cell{"RereadLock", &CableFaults::lock, once_after(36, 2), Stage::kReread, 8, kInUse, false,
             false},
        Cell{"RereadRom", &CableFaults::rom_read, once_after(86, 1), Stage::kReread, 8, kReadFailed,
             false, false},
        Cell{"ProgrammerLookup", &CableFaults::find, once_after(1, 3), Stage::kProgrammer, 8,
             "vantor_pgm: no cable named \"USB-1\"\nThe programmer failed with exit status 1\n",
             false, false},
        // One failed try to leave select mode is followed by another a second later.
        Cell{"LeaveNoSuchCable", &CableFaults::find, once_after(1, 4), Stage::kLeave, 0,
             kNotFound + "Finished\n", true, false},
        Cell{"LeaveLock", &CableFaults::lock, once_after(36, 4), Stage::kLeave, 0,
             kInUse + "Finished\n", true, false},
        Cell{"LeaveSwitch", &CableFaults::set_parameter, once_after(45, 1), Stage::kLeave, 0,
             kSwitchFailed + "Finished\n", true, false},
        Cell{"LeaveSwitchEveryTry", &CableFaults::set_parameter, ForcedError{45, false, 1},
             Stage::kLeave, 8,
             kSwitchFailed + kSwitchFailed + kSwitchFailed +
                 "Cable USB-1 may still be in select mode: run cablewright with --cable and "
                 "--leave-select-mode\n",
             true, true},
        Cell{"ReadBackLookup", &CableFaults::find, once_after(86, 5), Stage::kReadBack, 8,
             kNotAttached, true, false},
        Cell{"ReadBackLock", &CableFaults::lock, once_after(36, 5), Stage::kReadBack, 8, kInUse,
             true, false},
        Cell{"ReadBackRom", &CableFaults::rom_read, once_after(86, 2), Stage::kReadBack, 8,
             kReadFailed, true, false}),
    [](const testing::TestParamInfo<Cell>& param_info) {
        return std::string(param_info.param.name);
    });

using FaultMatrixProgrammer = BenchTest;

// The one cell that takes the programmer's full 60 s limit.
TEST_F(FaultMatrixProgrammer, HangIsStoppedAndTheCableSwitchedBack) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    RomImage file = cable_rom(4, 2, "AB-##", true);
    int id = add_cable(kCable, &rom);
    change_settings([](BenchSettings& s) { s.programmer = {ProgrammerMode::kHang, 600}; });
    ChildSpec child = cablewright_child({"-c", kCable, write_pof("new.pof", file)});
    child.deadline_ms = 120000;  // the program's own 60 s limit and its two 3 s pauses, twice
    ChildRun r = run(child);
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.err, console(update_head(kCable, rom, file) + kUsb1CommandLine +
                             "The programmer did not finish within 60 seconds and was stopped\n"));
    CableRecord after = cable(id);
    EXPECT_FALSE(after.select_mode);
    EXPECT_EQ(after.rom, rom);
    EXPECT_FALSE(temp_file_left());
}

// A name fault during the selection chooses nothing; a cable left in select mode, whatever left it
// there, comes back with one command.
TEST_F(FaultMatrixProgrammer, NameFaultChoosesNothingAndACableLeftSelectedComesBack) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    int id = add_cable(kCable, &rom);
    change_cable(id, [](CableRecord& c) { c.faults.name = {45, false, 0}; });
    ChildRun r = cablewright({});
    EXPECT_EQ(r.status, 12);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, console("Error (Invalid parameter) when reading cable name\n"));

    change_cable(id, [](CableRecord& c) {
        c.faults.name = {};
        c.select_mode = true;
    });
    r = cablewright({"--leave-select-mode"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, console(std::string("Leaving select mode on cable ") + kCable + "\n" +
                             cable_line(rom) + "Finished\n"));
    EXPECT_EQ(r.out.rfind("Cable", 0), 0u) << r.out;
    EXPECT_FALSE(cable(id).select_mode);
    EXPECT_EQ(cable(id).rom, rom);
}

}  // namespace
