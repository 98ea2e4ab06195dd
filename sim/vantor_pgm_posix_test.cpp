// vantor_pgm run as a process against a temporary bench.
#include <signal.h>

#include <gtest/gtest.h>

#include <functional>

#include "image/pof_file.h"
#include "sim/bench_format.h"
#include "sim/file_lock.h"
#include "sim/pof_builder.h"
#include "sim/rom_recipe.h"
#include "sim/sim_test_support.h"

namespace {

const char kUsage[] = "Usage: vantor_pgm -c CABLE -m jtag -o p;FILE\n";
const char kCable[] = "USB \"one\" [1]";

class Programmer : public testing::Test {
  protected:
    void SetUp() override {
        bench.set([](BenchSettings& s) { s.wait_scale_percent = 1; });
        cable_rom = make_rom(RomFields{});
        id = bench.add(kCable, &cable_rom);
        ASSERT_TRUE(update_cable(bench.path(), id, [](CableRecord& r) { r.select_mode = true; }));
        RomFields new_fields;
        new_fields.zan_version = 5;
        new_fields.serial = "A-0042";
        PofRecipe recipe;
        recipe.image = make_rom(new_fields);
        file_rom = recipe.image;
        pof_path = bench.path() + "/new file.pof";
        ASSERT_TRUE(write_file(pof_path, build_pof(recipe)));
        PofImage pof;
        ASSERT_TRUE(load_pof(pof_path.c_str(), pof));
        file_crc = pof_crc(pof);
    }

    ChildRun run(const std::vector<std::string>& args, int deadline_ms = 20000) {
        return run_child(sim_child("vantor_pgm", args, deadline_ms));
    }

    ChildRun run_normally() { return run({"-c", kCable, "-m", "jtag", "-o", "p;" + pof_path}); }

    void expect_untouched() {
        CableRecord record = bench.load(id);
        EXPECT_EQ(record.rom, cable_rom);
        EXPECT_EQ(record.times_programmed, 0u);
    }

    TestBench bench;
    int id = 0;
    RomImage cable_rom, file_rom;
    std::string pof_path;
    std::uint16_t file_crc = 0;
};

TEST_F(Programmer, ProgramsTheLogicAndTheRomOfACableInSelectMode) {
    ChildRun result = run_normally();
    ASSERT_FALSE(result.signalled);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    char crc[8];
    std::snprintf(crc, sizeof crc, "0x%04X", file_crc);
    EXPECT_EQ(result.out, "Programming \"" + pof_path + "\" through cable \"" + kCable +
                              "\"\n  ZAN logic version 5 programmed (checksum " + crc +
                              ")\n  ROM: 256 bytes programmed\nProgramming successful\n");
    CableRecord record = bench.load(id);
    EXPECT_TRUE(record.rom_written);
    EXPECT_EQ(record.rom, file_rom);
    EXPECT_EQ(record.zan_version, 5u);
    EXPECT_EQ(record.zan_crc, file_crc);
    EXPECT_EQ(record.times_programmed, 1u);
    EXPECT_TRUE(record.select_mode);

    result = run({"-o", "p;" + pof_path, "-c", kCable, "-m", "jtag"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(bench.load(id).times_programmed, 2u);
}

TEST_F(Programmer, AnythingButTheThreeOptionsIsAUsageError) {
    const std::string op = "p;" + pof_path;
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"-c", kCable, "-m", "jtag"},
        {"-c", kCable, "-m", "swd", "-o", op},
        {"-c", kCable, "-m", "jtag", "-o", "x;" + pof_path},
        {"-c", kCable, "-m", "jtag", "-o", "p;"},
        {"-c", kCable, "-c", kCable, "-o", op},
        {"-c", kCable, "-m", "jtag", "-o", op, "-v"},
        {"--cable", kCable, "-m", "jtag", "-o", op},
        {"-c", "", "-m", "jtag", "-o", op},
    };
    for (const auto& args : cases) {
        ChildRun result = run(args);
        EXPECT_FALSE(result.signalled);
        EXPECT_EQ(result.status, 2) << args.size();
        EXPECT_EQ(result.err, kUsage);
        EXPECT_EQ(result.out, "");
    }
    expect_untouched();
}

TEST_F(Programmer, RefusesAndSaysWhy) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::string cable;
        std::string file;
        std::string err;
    };
    const std::string missing = bench.path() + "/missing.pof";
    const Case cases[] = {
        {"not in select mode",
         [&] { update_cable(bench.path(), id, [](CableRecord& r) { r.select_mode = false; }); },
         kCable, pof_path,
         std::string("vantor_pgm: wrong device on the JTAG chain of \"") + kCable +
             "\": expected its ZAN device (is the cable in select mode?)\n"},
        {"unknown cable", [] {}, "USB-9", pof_path, "vantor_pgm: no cable named \"USB-9\"\n"},
        {"find fails",
         [&] {
             update_cable(bench.path(), id, [](CableRecord& r) { r.faults.find = {81, false}; });
         },
         kCable, pof_path,
         std::string("vantor_pgm: error 81 when looking for cable \"") + kCable + "\"\n"},
        {"missing file", [] {}, kCable, missing, "Unable to open " + missing + "\n"},
        {"corrupt file",
         [&] {
             PofRecipe recipe;
             recipe.image = file_rom;
             recipe.corrupt_crc = true;
             write_file(pof_path, build_pof(recipe));
         },
         kCable, pof_path, "POF file is corrupted\n"},
    };
    for (const Case& c : cases) {
        c.arrange();
        ChildRun result = run({"-c", c.cable, "-m", "jtag", "-o", "p;" + c.file});
        EXPECT_FALSE(result.signalled) << c.what;
        EXPECT_EQ(result.status, 1) << c.what;
        EXPECT_EQ(result.err, c.err) << c.what;
        expect_untouched();
    }
}

TEST_F(Programmer, WaitsForTheChainLockThenGivesUp) {
    FileLock held;
    ASSERT_EQ(try_lock_file(cable_lock_path(bench.path(), id), held), LockAttempt::kAcquired);
    ChildRun result = run_normally();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              std::string("vantor_pgm: error 36 when locking the chain of \"") + kCable + "\"\n");
    expect_untouched();
    unlock_file(held);
    EXPECT_EQ(run_normally().status, 0);
}

// Skipping the ROM leaves the cable's, with the new logic; a wrong byte spoils the file's.
TEST_F(Programmer, MisbehavesOnRequest) {
    struct Case {
        const char* mode;
        bool exited;
        int status_or_signal;  // a hang is stopped at the deadline by SIGTERM
        bool programmed;
        const RomImage* rom;  // the cable's ROM afterwards, when it is checked
    };
    RomImage spoiled = file_rom;
    spoiled.bytes[0x30] = static_cast<std::uint8_t>(~spoiled.bytes[0x30]);
    const Case cases[] = {
        {"exit 7", true, 7, false, nullptr},       {"segv", false, SIGSEGV, false, nullptr},
        {"abort", false, SIGABRT, false, nullptr}, {"hang 600", false, SIGTERM, false, nullptr},
        {"skip-rom", true, 0, true, &cable_rom},   {"wrong-byte 48", true, 0, true, &spoiled},
    };
    for (const Case& c : cases) {
        BenchSettings settings;
        ASSERT_TRUE(load_settings(bench.path(), settings));
        ASSERT_TRUE(parse_programmer(c.mode, settings.programmer));
        ASSERT_TRUE(save_settings(bench.path(), settings));
        ChildRun result = run({"-c", kCable, "-m", "jtag", "-o", "p;" + pof_path}, 1000);
        EXPECT_EQ(result.signalled, !c.exited) << c.mode;
        EXPECT_EQ(result.status, c.status_or_signal) << c.mode;
        EXPECT_EQ(result.failure != "", c.mode == std::string("hang 600")) << c.mode;
        const CableRecord record = bench.load(id);
        EXPECT_EQ(record.times_programmed, c.programmed ? 1u : 0u) << c.mode;
        if (c.rom != nullptr) {
            EXPECT_EQ(record.rom, *c.rom) << c.mode;
            EXPECT_EQ(record.zan_version, 5u) << c.mode;
        }
        ASSERT_TRUE(update_cable(bench.path(), id, [&](CableRecord& r) {
            r.times_programmed = 0;
            r.rom = cable_rom;
        }));
    }
}

}  // namespace
