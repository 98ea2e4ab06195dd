// The history end to end: a run killed in the middle leaves its start record alone, an unusable
// history touches no cable, and runs logging into one file at once leave whole lines only.
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "testing/json_reader.h"
#include "tests/bench_fixture.h"

namespace fs = std::filesystem;

namespace {

using History = BenchTest;

// The history's records; every line must be one whole JSON object.
std::vector<Json> records_in(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(content.empty() || content.back() == '\n') << "the last line is torn";
    std::vector<Json> records;
    std::size_t start = 0;
    for (std::size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
        Json record;
        std::string error;
        EXPECT_TRUE(read_json(content.substr(start, end - start), record, error)) << error;
        EXPECT_TRUE(record.is_object());
        records.push_back(record);
    }
    return records;
}

TEST_F(History, AnUnusableLogTouchesNoCable) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    int id = add_cable("USB-1 [1-1]", &rom);
    // Any touch of the cable would now show in the output.
    change_cable(id, [](CableRecord& c) {
        c.faults.find.code = 82;
        c.faults.lock.code = 82;
    });
    write_pof("new.pof", cable_rom(4, 2, "AB-##", true));
    for (const std::string& path : {work_, (fs::path(work_) / "none" / "h.jsonl").string()}) {
        SCOPED_TRACE(path);
        ChildRun r = cablewright({"--log", path, "-c", "USB-1 [1-1]", "new.pof"});
        EXPECT_EQ(r.status, 8);
        EXPECT_EQ(r.err, console("Unable to open log " + path + "\n"));
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(cable(id).rom, rom);
}

// A run killed while its cable is in select mode: the start record names the cable, and no end
// record follows.
TEST_F(History, AKilledRunLeavesItsStartWithoutAnEnd) {
    if (!std::string(kProgramSuffix).empty()) {
        GTEST_SKIP() << "no signals to send on Windows";
    }
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    add_cable("USB-1 [1-1]", &rom);
    ChildSpec child = cablewright_child({"--log", "history.jsonl", "-c", "USB-1 [1-1]",
                                         write_pof("new.pof", cable_rom(4, 2, "AB-##", true))});
    child.interrupt_when = "Merged ROM contents:";
    child.interrupt_delay_ms = 500;
    child.interrupt_signal = 9;
    ChildRun r = run_child(child);
    EXPECT_TRUE(r.signalled);
    std::vector<Json> records = records_in((fs::path(work_) / "history.jsonl").string());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(text_of(records[0], "record"), "start");
    EXPECT_EQ(text_of(records[0], "cable"), "USB-1 [1-1]");
    EXPECT_EQ(text_of(records[0], "action"), "update");
}

// Show runs, plain and JSON, on two cables from two folders, all logging into one file at once.
TEST_F(History, ConcurrentRunsWriteWholeRecords) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    add_cable("USB-1 [1-1]", &rom);
    add_cable("USB-2 [1-2]", &rom);
    const std::string history = (fs::path(root_) / "history.jsonl").string();
    const int kRuns = 8;
    std::vector<ChildRun> runs(kRuns);
    std::vector<std::thread> threads;
    for (int i = 0; i < kRuns; ++i) {
        std::vector<std::string> args = {"--log", history, "-c",
                                         i % 2 == 0 ? "USB-1 [1-1]" : "USB-2 [1-2]"};
        if (i % 4 >= 2) {
            args.push_back("--json");  // a show run all the same
        }
        ChildSpec child = cablewright_child(args);
        if (i % 2 == 1) {
            child.folder = root_;
        }
        threads.emplace_back([&runs, i, child, this] { runs[i] = run(child); });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    for (const ChildRun& r : runs) {
        EXPECT_EQ(r.status, 0) << r.err;
    }
    std::map<std::string, std::string> kinds;  // run id: its records' kinds in order
    for (const Json& record : records_in(history)) {
        kinds[text_of(record, "run")] += text_of(record, "record") + " ";
    }
    EXPECT_EQ(kinds.size(), static_cast<std::size_t>(kRuns));
    for (const auto& run : kinds) {
        EXPECT_EQ(run.second, "start end ") << run.first;
    }
}

}  // namespace
