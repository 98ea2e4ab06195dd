// The real cablewright against a temporary bench: standard output, standard error and the exit
// status compared exactly.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "handoff/jumper_prompt.h"
#include "tests/bench_fixture.h"

namespace fs = std::filesystem;

namespace {

const char* const kFinished = "Finished\n";
const char* const kForceHint = "Use the --force option to reprogram anyway\n";

std::string dump(const char* label, const RomImage& image) {
    return format_rom_dump(label, image);
}

RomImage merged(const RomImage& cable, const RomImage& file) {
    return merged_image(cable, file);
}

using EndToEnd = BenchTest;

TEST_F(EndToEnd, ShowsTheNamedCable) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    add_cable("USB-1", &rom);
    ChildRun r = cablewright({"-c", "USB-1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, console(dump("Cable", rom)));
    EXPECT_EQ(r.err, console("Reprogramming cable USB-1\n" + cable_line(rom) + kFinished));
}

TEST_F(EndToEnd, ChoosesTheOneSuitableCable) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    int unusable = add_cable("Unusable", &rom);
    int silent = add_cable("Answers nothing", &rom);
    add_cable("Kestrel [USB-2]", &rom);
    change_cable(unusable, [](CableRecord& c) { c.usable = 0; });
    change_cable(silent, [](CableRecord& c) { c.faults.rom_read.code = 86; });
    ChildRun r = cablewright({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, console(dump("Cable", rom)));
    EXPECT_EQ(r.err,
              console("Reprogramming cable Kestrel [USB-2]\n" + cable_line(rom) + kFinished));
}

TEST_F(EndToEnd, SelectionWaitsForTheServerAndSkipsALockedCable) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    int busy = add_cable("Busy", &rom);
    add_cable("Free", &rom);
    change_cable(busy, [](CableRecord& c) { c.faults.lock.code = 36; });
    change_settings([](BenchSettings& s) {
        s.server_after_attempts = 7;
        s.messages = {{0, "server restarted"}, {1, "firmware old"}, {2, "hello"}, {3, "hidden"}};
    });
    ChildRun r = cablewright({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, console("Error: server restarted\nWarning: firmware old\nhello\n" +
                             dump("Cable", rom)));
    EXPECT_EQ(r.err, console("Connecting to server(s) [.                   ]"
                             "\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b."
                             "\r                                              \r"
                             "  Unable to lock chain (Chain in use)\n\n"
                             "Reprogramming cable Free\n" +
                             cable_line(rom) + kFinished));
}

TEST_F(EndToEnd, NoChoiceEndsWithTwelve) {
    struct Case {
        const char* what;
        int cables;
        std::string err;
    };
    const Case cases[] = {
        {"none", 0, "No JTAG hardware available\n"},
        {"three", 3,
         "Multiple cables available, please use --cable to specify one\n1) C0\n2) C1\n3) C2\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int i = 0; i < c.cables; ++i) {
            add_cable("C" + std::to_string(i), nullptr);
        }
        ChildRun r = cablewright({"--debug"});
        EXPECT_EQ(r.status, 12);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, console(c.err));
    }
}

TEST_F(EndToEnd, UnknownCableEndsWithTwelve) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    add_cable("USB-1", &rom);
    ChildRun r = cablewright({"-c", "USB-9", "new.pof"});
    EXPECT_EQ(r.status, 12);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, console("Reprogramming cable USB-9\nUnable to find jtag cable \"USB-9\"\n"));
}

TEST_F(EndToEnd, GarbledRomReplyIsAReadFailure) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    int id = add_cable("USB-1", &rom);
    change_cable(id, [](CableRecord& c) {
        c.faults.has_rom_reply = true;
        c.faults.rom_reply = std::string(510, '0') + "zz";
    });
    ChildRun r = cablewright({"-c", "USB-1"});
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, console("Reprogramming cable USB-1\nError () when reading EEPROM contents\n"));
}

TEST_F(EndToEnd, MisuseEndsWithSixteenBeforeAnyCable) {
    ChildRun r = cablewright({"a.txt", "b.pof"});
    EXPECT_EQ(r.status, 16);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              console("Only .pof files are supported\n"
                      "Usage: cablewright [--cable <cable>] [--force] [--dry-run] <filename.pof>\n"
                      "Try 'cablewright --help' for more information.\n"));
}

// Refusals leave everything as it was: no switch, no file, no programming.
TEST_F(EndToEnd, RefusalsTouchNothing) {
    struct Case {
        const char* what;
        RomImage cable;  // all zero: blank
        RomImage file;
        std::vector<std::string> extra;
        std::string tail;
    };
    const RomImage signed3 = cable_rom(3, 2, "AB-07", true);
    const Case cases[] = {
        {"older file",
         signed3,
         cable_rom(2, 2, "AB-##", true),
         {},
         "This cable contains a newer version of the hardware than the file\n" +
             std::string(kForceHint)},
        {"same version",
         signed3,
         signed3,
         {},
         "This cable contains the same version of the hardware as the file\n" +
             std::string(kForceHint)},
        {"other hardware",
         signed3,
         cable_rom(4, 7, "AB-##", true),
         {},
         "pof is not suitable for this cable because it has the wrong hardware ID\n"},
        {"serial on a cable with one",
         signed3,
         cable_rom(4, 2, "AB-##", true),
         {"-S", "AB-11"},
         "Once a board has a serial number you can't change it!\n"},
        {"blank without serial",
         RomImage{},
         cable_rom(4, 2, "AB-##", true),
         {},
         "Please provide a serial number of the format AB-##\n"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string name = "Cable " + std::to_string(n++);
        int id = add_cable(name, is_blank(c.cable) ? nullptr : &c.cable);
        change_cable(id, [](CableRecord& r) { r.faults.set_parameter.code = 45; });
        std::string file = write_pof("f.pof", c.file);
        std::vector<std::string> args = {"--cable", name, file};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        ChildRun r = cablewright(args);
        EXPECT_EQ(r.status, 8);
        EXPECT_EQ(r.out, console(dump("Cable", c.cable) + dump("pof file", c.file)));
        EXPECT_EQ(r.err, console("Reprogramming cable " + name + "\n" + cable_line(c.cable) +
                                 pof_line(c.file) + c.tail));
        CableRecord after = cable(id);
        EXPECT_EQ(after.rom, c.cable);
        EXPECT_FALSE(after.select_mode);
        EXPECT_EQ(after.times_programmed, 0u);
        EXPECT_FALSE(temp_file_left());
    }
}

TEST_F(EndToEnd, BadFileEndsWithEight) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    add_cable("USB-1", &rom);
    fs::create_directory(fs::path(work_) / "dir.pof");
    { std::ofstream(fs::path(work_) / "junk.pof") << "POF"; }
    struct Case {
        const char* file;
        std::string message;
    };
    const Case cases[] = {
        {"missing.pof", "Unable to open missing.pof\n"},
        {"dir.pof", "Unable to open dir.pof\n"},
        {"junk.pof", "Did not understand POF file header\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ChildRun r = cablewright({"-c", "USB-1", c.file});
        EXPECT_EQ(r.status, 8);
        EXPECT_EQ(r.out, console(dump("Cable", rom)));
        EXPECT_EQ(r.err, console("Reprogramming cable USB-1\n" + cable_line(rom) + c.message));
    }
}

TEST_F(EndToEnd, DryRunShowsTheMergeAndChangesNothing) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    RomImage file = cable_rom(4, 2, "AB-##", true);
    int id = add_cable("USB-1", &rom);
    // Any mode switch would now print a failure, so a clean output proves there was none.
    change_cable(id, [](CableRecord& c) { c.faults.set_parameter.code = 45; });
    ChildRun r = cablewright({"-n", "-c", "USB-1", write_pof("new.pof", file)});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, console(dump("Cable", rom) + dump("pof file", file) +
                             dump("Merged", merged(rom, file)) +
                             "Dry run requested, terminating before making any changes\n"));
    EXPECT_EQ(r.err, console("Reprogramming cable USB-1\n" + cable_line(rom) + pof_line(file)));
    EXPECT_FALSE(temp_file_left());
    EXPECT_EQ(cable(id).rom, rom);
}

TEST_F(EndToEnd, LeftoverTemporaryFileStopsTheRunBeforeTheCable) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    RomImage file = cable_rom(4, 2, "AB-##", true);
    int id = add_cable("USB-1", &rom);
    change_cable(id, [](CableRecord& c) { c.faults.set_parameter.code = 45; });
    { std::ofstream(fs::path(work_) / "cablewright.tmp.pof") << "another run's"; }
    ChildRun r = cablewright({"-c", "USB-1", write_pof("new.pof", file)});
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.err, console("Reprogramming cable USB-1\n" + cable_line(rom) + pof_line(file) +
                             "Temporary file cablewright.tmp.pof was left by an earlier run "
                             "that was stopped; its cable may still be in select mode (see "
                             "--leave-select-mode). Delete the file and try again\n"));
    std::ifstream left(fs::path(work_) / "cablewright.tmp.pof");
    std::string content((std::istreambuf_iterator<char>(left)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "another run's");
    EXPECT_EQ(cable(id).rom, rom);
}

}  // namespace
