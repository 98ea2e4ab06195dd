// Bad input from people: one clear message and a status, never a crash or a hang, nothing lost.
#include <filesystem>
#include <fstream>

#include "tests/bench_fixture.h"

namespace fs = std::filesystem;

namespace {

using BadInput = BenchTest;

TEST_F(BadInput, FilesThatAreNoPofFile) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    int id = add_cable("USB-1", &rom);
    fs::path work(work_);
    fs::create_directory(work / "folder.pof");
    std::ofstream(work / "empty.pof").close();
    std::ofstream(work / "junk.pof") << "POF";
    {
        // 4 GiB that take no disk: refused by its header before memory is taken for the rest.
        std::ofstream sparse(work / "huge.pof", std::ios::binary);
        sparse.seekp((std::streamoff(1) << 32) - 1);
        sparse.put('\0');
    }
    struct Case {
        const char* file;
        std::string message;
    };
    const Case cases[] = {
        {"folder.pof", "Unable to open folder.pof\n"},
        {"missing.pof", "Unable to open missing.pof\n"},
        {"empty.pof", "Did not understand POF file header\n"},
        {"junk.pof", "Did not understand POF file header\n"},
        {"huge.pof", "Did not understand POF file header\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ChildRun r = cablewright({"-c", "USB-1", c.file});
        EXPECT_EQ(r.status, 8);
        EXPECT_EQ(r.out, console(rom_dump("Cable", rom)));
        EXPECT_EQ(r.err, console("Reprogramming cable USB-1\n" + cable_line(rom) + c.message));
    }
    EXPECT_EQ(cable(id).rom, rom);
}

TEST_F(BadInput, AnyBytesInFileAndCableNamesReachTheirTargetsWhole) {
    // Windows allows no '"' or '\\' in a file name; the cable name carries them.
    const std::string file = "my 'new' logic \xC3\xA9 [v4].pof";
    std::string long_name(10000, 'k');
    long_name.replace(0, 20, "Cable \"quoted\" [\xE2\x82\xAC] ");
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    RomImage image = cable_rom(4, 2, "AB-##", true);
    int id = add_cable(long_name, &rom);
    write_pof(file, image);

    ChildRun missing = cablewright({"-c", long_name + "x", file});
    EXPECT_EQ(missing.status, 12);
    EXPECT_EQ(missing.err, console("Reprogramming cable " + long_name +
                                   "x\nUnable to find jtag cable \"" + long_name + "x\"\n"));

    ChildRun r = cablewright({"-c", long_name, file});
    EXPECT_EQ(r.status, 0) << r.err.substr(r.err.size() > 400 ? r.err.size() - 400 : 0);
    const std::string finished = console("Finished\n");
    EXPECT_EQ(r.err.substr(r.err.size() - finished.size()), finished);
    CableRecord after = cable(id);
    EXPECT_EQ(zan_version(after.rom), 4);
    EXPECT_EQ(rom_text(after.rom, kSerialOffset, kSerialSize), "AB-07");
    EXPECT_FALSE(after.select_mode);
}

TEST_F(BadInput, CommandLineWordsOfAnyKind) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::string usage =
        "Usage: cablewright [--cable <cable>] [--force] [--dry-run] <filename.pof>\n"
        "Try 'cablewright --help' for more information.\n";
    const Case cases[] = {
        {{"", "x.pof"},
         16,
         "Only .pof files are supported\nOnly one file can be programmed at a time\n" + usage},
        {{"-c"}, 16, "Option -c needs a value\n" + usage},
        {{"\xFF\xFE.pof", "--serial"}, 16, "Option --serial needs a value\n" + usage},
        // Long, but within the 32767 characters of a Windows command line.
        {{std::string(30000, 'a') + ".pof", "b.pof"},
         16,
         "Only one file can be programmed at a time\n" + usage},
    };
    for (const Case& c : cases) {
        ChildRun r = cablewright(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, console(c.err));
    }
}

}  // namespace
