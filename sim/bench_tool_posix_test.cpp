// cablebench run as a process.
#include <gtest/gtest.h>

#include "cable/linkhub_client.h"
#include "image/pof_file.h"
#include "sim/bench_format.h"
#include "sim/sim_test_support.h"

namespace {

ChildRun tool(const std::vector<std::string>& args) {
    return run_child(sim_child("cablebench", args));
}

CableRecord cable_named(const std::string& dir, const std::string& name) {
    CableRecord record;
    EXPECT_EQ(load_named_cable(dir, name, record), LoadResult::kLoaded) << name;
    return record;
}

TEST(BenchTool, AddsCablesAndMakesPofFilesWithTheRequestedRom) {
    TempFolder dir;
    const std::string bench = dir.path() + "/bench";
    ASSERT_EQ(tool({"init", bench}).status, 0);
    ChildRun result =
        tool({"add", bench, "old \"one\"", "--version", "7", "--hwid", "0x1", "--kind", "1",
              "--serial", "123", "--product", "USB Kestrel++", "--no-signature"});
    ASSERT_EQ(result.status, 0) << result.err;
    RomImage rom = cable_named(bench, "old \"one\"").rom;
    EXPECT_EQ(zan_version(rom), 7u);
    EXPECT_EQ(hardware_id(rom), 1u);
    EXPECT_EQ(rom.bytes[kKindOffset], 1u);
    EXPECT_EQ(rom_text(rom, kSerialOffset, kSerialSize), "123");
    EXPECT_EQ(rom_text(rom, kProductOffset, kProductSize), "USB Kestrel++");
    EXPECT_FALSE(has_signature(rom));
    EXPECT_EQ(rom.bytes[kSignatureCompanion], 0u);

    ASSERT_EQ(tool({"add", bench, "signed"}).status, 0);
    RomImage signed_rom = cable_named(bench, "signed").rom;
    EXPECT_TRUE(has_signature(signed_rom));
    EXPECT_EQ(hardware_id(signed_rom), 2u);

    ASSERT_EQ(tool({"add", bench, "blank", "--blank"}).status, 0);
    EXPECT_FALSE(cable_named(bench, "blank").rom_written);
    std::string hex = rom_to_hex(signed_rom);
    ASSERT_EQ(tool({"add", bench, "copy", "--rom", hex}).status, 0);
    EXPECT_EQ(cable_named(bench, "copy").rom, signed_rom);

    ASSERT_EQ(tool({"add", bench, "rack", "--count", "3", "--version", "5"}).status, 0);
    EXPECT_EQ(list_cables(bench).size(), 7u);
    EXPECT_EQ(zan_version(cable_named(bench, "rack-1").rom), 5u);
    EXPECT_EQ(zan_version(cable_named(bench, "rack-3").rom), 5u);

    // make-pof writes files the program loads.
    const std::string path = dir.path() + "/demo.pof";
    result = tool({"make-pof", path, "--version", "9", "--hwid", "3", "--serial-format", "AB-##",
                   "--product", "Demo", "--no-signature"});
    ASSERT_EQ(result.status, 0) << result.err;
    PofImage pof;
    ASSERT_TRUE(load_pof(path.c_str(), pof));
    EXPECT_EQ(pof.length, 1062u);
    EXPECT_EQ(zan_version(pof.image), 9u);
    EXPECT_EQ(hardware_id(pof.image), 3u);
    EXPECT_EQ(rom_text(pof.image, kSerialOffset, kSerialSize), "AB-##");
    EXPECT_EQ(rom_text(pof.image, kProductOffset, kProductSize), "Demo");
    EXPECT_FALSE(has_signature(pof.image));
}

TEST(BenchTool, RefusesBadUsage) {
    TempFolder dir;
    ScopedEnv no_bench("LINKHUB_BENCH", nullptr);
    ASSERT_EQ(tool({"init", dir.path()}).status, 0);
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {{"add", dir.path(), "x", "--blank", "--version", "2"}, 2},
        {{"add", dir.path(), "x", "--rom", "00"}, 2},
        {{"add", dir.path(), "x", "--version", "65536"}, 2},
        {{"add", dir.path(), "x", "--serial", "12345678901234567"}, 2},
        {{"add", dir.path(), "x", "--signature", "--no-signature"}, 2},
        {{"add", dir.path(), "x", "--colour", "red"}, 2},
        {{"add", dir.path(), "x", "--count", "0"}, 2},
        {{"add", dir.path(), "x", "--count", "2x"}, 2},
        {{"add", dir.path() + "/none", "x"}, 2},
        {{"show"}, 2},
        {{"fault", dir.path(), "nobody", "lock", "36"}, 1},
        {{"set", dir.path(), "colour", "red"}, 2},
        {{"set", dir.path(), "programmer", "explode"}, 2},
        {{"make-pof"}, 2},
        {{"explode"}, 2},
        {{}, 2},
    };
    for (const Case& c : cases) {
        ChildRun result = tool(c.args);
        EXPECT_EQ(result.status, c.status) << (c.args.empty() ? "" : c.args[0]);
        EXPECT_NE(result.err, "");
    }
    EXPECT_TRUE(list_cables(dir.path()).empty());
    ChildRun help = tool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("make-pof FILE"), std::string::npos);
}

TEST(BenchTool, FaultsAndClearReachTheCableRecord) {
    TestBench bench;  // through LINKHUB_BENCH
    ASSERT_EQ(tool({"add", "USB-1"}).status, 0);
    const std::vector<std::vector<std::string>> steps = {
        {"fault", "USB-1", "lock", "36", "--once"}, {"fault", "USB-1", "find", "0x51"},
        {"fault", "USB-1", "rom-reply", "EMPTY"},   {"fault", "USB-1", "usable", "0"},
        {"fault", "USB-1", "virtual-hw", "3"},      {"fault", "USB-1", "select", "1"},
        {"fault", "USB-1", "rom", "empty"},
    };
    for (const auto& step : steps) {
        ChildRun result = tool(step);
        ASSERT_EQ(result.status, 0) << step[2] << result.err;
    }
    CableRecord record = cable_named(bench.path(), "USB-1");
    EXPECT_EQ(record.faults.lock.code, 36u);
    EXPECT_TRUE(record.faults.lock.once);
    EXPECT_EQ(record.faults.find.code, 81u);
    EXPECT_FALSE(record.faults.find.once);
    EXPECT_EQ(record.faults.rom_reply, "EMPTY");
    EXPECT_EQ(record.usable, 0u);
    EXPECT_EQ(record.virtual_hw, 3u);
    EXPECT_TRUE(record.select_mode);
    EXPECT_FALSE(record.rom_written);
    EXPECT_EQ(tool({"fault", "USB-1", "colour", "1"}).status, 2);
    EXPECT_EQ(tool({"fault", "USB-1", "lock", "x"}).status, 2);

    ASSERT_EQ(tool({"clear", "USB-1"}).status, 0);
    record = cable_named(bench.path(), "USB-1");
    EXPECT_EQ(format_cable(record), [] {
        CableRecord expected;
        expected.name = "USB-1";
        expected.select_mode = true;
        return format_cable(expected);
    }());
}

TEST(BenchTool, SettingsAndShow) {
    TestBench bench;
    ASSERT_EQ(tool({"add", "USB-1", "--version", "3"}).status, 0);
    ASSERT_EQ(tool({"fault", "USB-1", "lock", "36", "--once"}).status, 0);
    ASSERT_EQ(tool({"set", "wait_scale_percent", "5"}).status, 0);
    ASSERT_EQ(tool({"set", "message", "1 first"}).status, 0);
    ASSERT_EQ(tool({"set", "message", "0 caf\\xC3\\xA9"}).status, 0);
    ASSERT_EQ(tool({"set", "programmer", "exit 3"}).status, 0);
    BenchSettings settings;
    ASSERT_TRUE(load_settings(bench.path(), settings));
    EXPECT_EQ(settings.wait_scale_percent, 5u);
    ASSERT_EQ(settings.messages.size(), 2u);
    EXPECT_EQ(settings.messages[1].text, "caf\xC3\xA9");
    EXPECT_EQ(settings.programmer.mode, ProgrammerMode::kExit);

    ChildRun shown = tool({"show"});
    ASSERT_EQ(shown.status, 0);
    CableRecord record = cable_named(bench.path(), "USB-1");
    EXPECT_EQ(shown.out,
              "Bench " + bench.path() +
                  "\n  wait_scale_percent=5 server_after_attempts=0 programmer=exit 3\n"
                  "  message level 1: \"first\"\n  message level 0: \"caf\\xC3\\xA9\"\n"
                  "Cable 1: \"USB-1\"\n  select mode off, record words usable=1 virtual_hw=0\n"
                  "  ROM: ZAN_version=3 hardware_id=2 kind=0 serial=\"A-0001\" "
                  "product=\"USB-KestrelII\" signature present\n"
                  "  ZAN logic: never programmed\n  faults: lock=36 once\n" +
                  format_rom_dump("Cable", record.rom));

    ASSERT_EQ(tool({"unset", "message"}).status, 0);
    ASSERT_EQ(tool({"unset", "programmer"}).status, 0);
    ASSERT_TRUE(load_settings(bench.path(), settings));
    EXPECT_TRUE(settings.messages.empty());
    EXPECT_EQ(settings.programmer.mode, ProgrammerMode::kNormal);
}

TEST(BenchTool, HoldKeepsTheChainLockedForItsTime) {
    TestBench bench;
    bench.set([](BenchSettings& s) { s.wait_scale_percent = 0; });
    ASSERT_EQ(tool({"add", "USB-1"}).status, 0);
    HWL_HARDWARE record;
    ASSERT_EQ(hwl_find_hardware("USB-1", &record, 0), HWL_OK);
    ChildRun holder = run_child(chain_holder("USB-1", "60", [&] {
        EXPECT_EQ(hwl_lock_chain(record.chain, 1000), 36u);
        EXPECT_EQ(tool({"hold", "USB-1", "0"}).status, 1);
    }));
    EXPECT_EQ(holder.out, "Holding the chain of \"USB-1\" for 60 s\n");
    EXPECT_TRUE(holder.signalled);
    EXPECT_EQ(hwl_lock_chain(record.chain, 0), HWL_OK);
    hwl_unlock_chain(record.chain);
}

}  // namespace
