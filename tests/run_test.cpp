// The real cablewright against a temporary bench: standard output, standard error and the exit
// status compared exactly.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/bench_fixture.h"

namespace fs = std::filesystem;

namespace {

const char* const kFinished = "Finished\n";
const char* const kForceHint = "Use the --force option to reprogram anyway\n";

using EndToEnd = BenchTest;

// The dump in full, byte for byte: the other tests build theirs with rom_dump.
TEST_F(EndToEnd, ShowsTheNamedCable) {
    const char kDump[] =
        "Cable ROM contents:\n"
        "  0: 00 00 5A 00  00 00 00 00  00 00 00 00  00 00 00 00  ..Z.............\n"
        " 10: 00 00 00 00  00 00 00 00  00 00 00 00  00 00 03 00  ................\n"
        " 20: 00 02 00 00  00 00 00 00  00 00 00 00  00 00 00 00  ................\n"
        " 30: 41 42 2D 30  37 00 00 00  00 00 00 00  00 00 00 00  AB-07...........\n"
        " 40: 55 53 42 2D  4B 65 73 74  72 65 6C 49  49 00 00 00  USB-KestrelII...\n"
        " 50: 00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00  ................\n"
        " 60: 00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00  ................\n"
        " 70: 00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00  ................\n"
        " 80: 80 85 8A 8F  94 99 9E A3  A8 AD B2 B7  BC C1 C6 CB  ................\n"
        " 90: D0 D5 DA DF  E4 E9 EE F3  F8 FD 02 07  0C 11 16 1B  ................\n"
        " A0: 20 25 2A 2F  34 39 3E 43  48 4D 52 57  5C 61 66 6B   %*/49>CHMRW\\afk\n"
        " B0: 70 75 7A 7F  84 89 8E 93  98 9D A2 A7  AC B1 B6 BB  puz.............\n"
        " C0: 01 C5 CA CF  D4 D9 DE E3  E8 ED F2 F7  FC 01 06 0B  ................\n"
        " D0: 10 15 1A 1F  24 29 2E 33  38 3D 42 47  4C 51 56 5B  ....$).38=BGLQV[\n"
        " E0: 60 65 6A 6F  74 79 7E 83  88 8D 92 97  9C A1 A6 AB  `ejoty~.........\n"
        " F0: B0 B5 BA BF  C4 C9 CE D3  D8 DD E2 E7  EC F1 F6 FB  ................\n";
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    add_cable("USB-1", &rom);
    ChildRun r = cablewright({"-c", "USB-1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, console(kDump));
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
    EXPECT_EQ(r.out, console(rom_dump("Cable", rom)));
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
                             rom_dump("Cable", rom)));
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
                      "Only one file can be programmed at a time\n"
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
        EXPECT_EQ(r.out, console(rom_dump("Cable", c.cable) + rom_dump("pof file", c.file)));
        EXPECT_EQ(r.err, console("Reprogramming cable " + name + "\n" + cable_line(c.cable) +
                                 pof_line(c.file) + c.tail));
        CableRecord after = cable(id);
        EXPECT_EQ(after.rom, c.cable);
        EXPECT_FALSE(after.select_mode);
        EXPECT_EQ(after.times_programmed, 0u);
        EXPECT_FALSE(temp_file_left());
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
    EXPECT_EQ(r.out, console(rom_dump("Cable", rom) + rom_dump("pof file", file) +
                             rom_dump("Merged", merged_image(rom, file)) +
                             "Dry run requested, terminating before making any changes\n"));
    EXPECT_EQ(r.err, console("Reprogramming cable USB-1\n" + cable_line(rom) + pof_line(file)));
    EXPECT_FALSE(temp_file_left());
    EXPECT_EQ(cable(id).rom, rom);
}

}  // namespace
