// Full updates through the simulated programmer; each takes the two real 3 s pauses.
#include <cstdio>
#include <functional>
#include <ostream>

#include "sim/pof_builder.h"
#include "tests/bench_fixture.h"

namespace {

const char* const kCable = "Kestrel \"lab\" [USB-1]";

std::string programmer_report(const RomImage& image, bool rom_written = true) {
    return programmer_report(kCable, image, rom_written);
}

// The quoted cable name contains quotes, so the command line escapes them.
const std::string kCommandLine =
    "vantor_pgm -c \"Kestrel \\\"lab\\\" [USB-1]\" -m jtag -o \"p;cablewright.tmp.pof\"\n";

std::string head(const RomImage& cable, const RomImage& file) {
    return update_head(kCable, cable, file);
}

std::string dumps(const RomImage& cable, const RomImage& file, const RomImage& result) {
    return rom_dump("Cable", cable) + rom_dump("pof file", file) + rom_dump("Merged", result);
}

using Update = BenchTest;

TEST_F(Update, NewerLogicKeepsTheCablesIdentity) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    RomImage file = cable_rom(4, 2, "AB-##", false, "Other product");
    int id = add_cable(kCable, &rom);
    ChildRun r = cablewright({"--cable", kCable, write_pof("new.pof", file)});
    RomImage result = merged_image(rom, file);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, console(dumps(rom, file, result) + programmer_report(result)));
    EXPECT_EQ(r.err, console(head(rom, file) + kCommandLine + "Finished\n"));
    CableRecord after = cable(id);
    EXPECT_EQ(after.rom, result);
    EXPECT_FALSE(after.select_mode);
    EXPECT_EQ(after.times_programmed, 1u);
    EXPECT_EQ(after.zan_version, 4);
    EXPECT_FALSE(temp_file_left());
}

TEST_F(Update, BlankCableIsInitialisedWithItsSerial) {
    RomImage file = cable_rom(4, 2, "AB-####", true);
    int id = add_cable(kCable, nullptr);
    ChildRun r = cablewright({"-S", "AB-0107", "-c", kCable, write_pof("new.pof", file)});
    RomImage result = file;
    set_text(result, kSerialOffset, "AB-0107");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, console(dumps(RomImage{}, file, result) + programmer_report(result)));
    EXPECT_EQ(r.err, console(head(RomImage{}, file) + kCommandLine + "Finished\n"));
    EXPECT_EQ(cable(id).rom, result);
    EXPECT_FALSE(cable(id).select_mode);
}

TEST_F(Update, HardwareIdOneWalksThroughBothJumperScreens) {
    RomImage rom = cable_rom(3, 1, "101-0042", true);
    RomImage file = cable_rom(4, 1, "101-####", true);
    int id = add_cable(kCable, &rom);
    // Typed ahead at the first prompt: must not answer the second one.
    ChildRun r = cablewright({"-c", kCable, write_pof("new.pof", file)}, "ok\n\n");
    RomImage result = merged_image(rom, file);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, console(dumps(rom, file, result) + kReprogramJumperScreen + "\n" +
                             programmer_report(result) + kNormalJumperScreen + "\n"));
    EXPECT_EQ(r.err, console(head(rom, file) + kCommandLine + "Finished\n"));
    EXPECT_EQ(cable(id).rom, result);
}

// A failure from the temporary file on: the cable still goes back to normal mode, the file is
// removed, and the run ends with 8 and without "Finished".
struct FailureCase {
    const char* name;
    std::function<void(BenchTest&, int id)> arrange;
    bool programmer_on_path;
    std::string err_tail;  // after the POF line
    bool programmed;       // the programmer wrote the merged ROM
    bool reported;         // the programmer's report is on standard output
    bool read_back_shown;  // a "Read back" dump of the original ROM follows
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class UpdateFailure : public BenchTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(UpdateFailure, CableEndsInNormalModeAndNothingIsLeft) {
    const FailureCase& c = GetParam();
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    RomImage file = cable_rom(4, 2, "AB-##", true);
    int id = add_cable(kCable, &rom);
    c.arrange(*this, id);
    ChildRun r = cablewright({"-c", kCable, write_pof("new.pof", file)}, "", c.programmer_on_path);
    RomImage result = merged_image(rom, file);
    EXPECT_EQ(r.status, 8);
    std::string out = dumps(rom, file, result);
    if (c.reported) {
        // Among these cases only the programmer that leaves the ROM alone gets a read-back dump.
        const bool rom_written = !c.read_back_shown;
        out += programmer_report(result, rom_written);
    }
    if (c.read_back_shown) {
        out += rom_dump("Read back", rom);
    }
    EXPECT_EQ(r.out, console(out));
    EXPECT_EQ(r.err, console(head(rom, file) + c.err_tail));
    CableRecord after = cable(id);
    EXPECT_FALSE(after.select_mode);
    EXPECT_EQ(after.rom, c.programmed ? result : rom);
    EXPECT_FALSE(temp_file_left());
}

void set_programmer(BenchTest& t, ProgrammerMode mode, std::uint32_t value) {
    BenchSettings settings;
    ASSERT_TRUE(load_settings(t.bench_, settings));
    settings.programmer = {mode, value};
    ASSERT_TRUE(save_settings(t.bench_, settings));
}

const std::string kMismatch = "The cable's ROM does not match the programmed image\n";

INSTANTIATE_TEST_SUITE_P(
    Paths, UpdateFailure,
    testing::Values(
        FailureCase{"EnteringSelectModeFails",
                    [](BenchTest& fixture, int id) {
                        ASSERT_TRUE(update_cable(fixture.bench_, id, [](CableRecord& c) {
                            c.faults.set_parameter = {45, true};
                        }));
                    },
                    true, "Error (Invalid parameter) when setting zan mode\n", false, false, false},
        FailureCase{"ProgrammerMissing", [](BenchTest&, int) {}, false,
                    kCommandLine + "Unable to start the programmer\n", false, false, false},
        FailureCase{
            "ProgrammerFails",
            [](BenchTest& fixture, int) { set_programmer(fixture, ProgrammerMode::kExit, 3); },
            true,
            kCommandLine + "vantor_pgm: failing on purpose with status 3\n" +
                "The programmer failed with exit status 3\n",
            false, false, false},
        FailureCase{
            "ProgrammerCrashes",
            [](BenchTest& fixture, int) { set_programmer(fixture, ProgrammerMode::kSegv, 0); },
            true,
            kCommandLine + "The programmer failed with exit status " +
                std::to_string(kCrashExitStatus) + "\n",
            false, false, false},
        FailureCase{
            "ProgrammerSkipsTheRom",
            [](BenchTest& fixture, int) { set_programmer(fixture, ProgrammerMode::kSkipRom, 0); },
            true, kCommandLine + kMismatch, false, true, true}),
    [](const testing::TestParamInfo<FailureCase>& param_info) {
        return std::string(param_info.param.name);
    });

TEST_F(Update, OneWrongByteIsCaughtByTheReadBack) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    RomImage file = cable_rom(4, 2, "AB-##", true);
    int id = add_cable(kCable, &rom);
    set_programmer(*this, ProgrammerMode::kWrongByte, 0x40);
    ChildRun r = cablewright({"-c", kCable, write_pof("new.pof", file)});
    RomImage result = merged_image(rom, file);
    RomImage wrong = result;
    wrong.bytes[0x40] = static_cast<std::uint8_t>(~wrong.bytes[0x40]);
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.out, console(dumps(rom, file, result) + programmer_report(result) +
                             rom_dump("Read back", wrong)));
    EXPECT_EQ(r.err, console(head(rom, file) + kCommandLine + kMismatch));
    EXPECT_FALSE(cable(id).select_mode);
    EXPECT_FALSE(temp_file_left());
}

}  // namespace
