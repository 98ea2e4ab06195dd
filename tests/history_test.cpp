// The history end to end: a run killed in the middle keeps its serial and shows in the report as
// unfinished, an unusable history touches no cable, runs at once never share a serial, and runs
// logging into one file at once leave whole lines only.
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
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

// A run killed after it took its serial: its start and serial records stay without an end, the
// serial stays taken, and the report shows the run as unfinished, skipping a torn last line.
TEST_F(History, AKilledRunKeepsItsSerialAndTheReportSaysSo) {
    if (!std::string(kProgramSuffix).empty()) {
        GTEST_SKIP() << "no signals to send on Windows";
    }
    add_cable("USB-1 [1-1]", nullptr);
    add_cable("USB-2 [1-2]", nullptr);
    const std::string file = write_pof("new.pof", cable_rom(4, 2, "AB-##", true));
    const std::vector<std::string> line = {"--serials", "AB-01..AB-09", "--log", "history.jsonl"};
    auto args = [&](const char* cable) {
        std::vector<std::string> all = line;
        all.insert(all.end(), {"-c", cable, file});
        return all;
    };
    ChildSpec child = cablewright_child(args("USB-1 [1-1]"));
    child.interrupt_when = "Merged ROM contents:";
    child.interrupt_delay_ms = 500;
    child.interrupt_signal = 9;
    ChildRun killed = run_child(child);
    EXPECT_TRUE(killed.signalled);
    const std::string history = (fs::path(work_) / "history.jsonl").string();
    std::vector<Json> records = records_in(history);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(text_of(records[0], "record"), "start");
    EXPECT_EQ(text_of(records[0], "cable"), "USB-1 [1-1]");
    EXPECT_EQ(text_of(records[0], "action"), "initialise");
    EXPECT_EQ(text_of(records[1], "record"), "serial");
    EXPECT_EQ(text_of(records[1], "serial"), "AB-01");

    ChildRun next = cablewright(args("USB-2 [1-2]"));
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(text_of(records_in(history).back(), "serial_after"), "AB-02");

    std::ofstream(history, std::ios::app) << "{\"record\":\"end\",\"run\":\"";
    ChildRun report = cablewright({"--history", history});
    EXPECT_EQ(report.status, 0);
    std::istringstream rows(report.out);
    std::vector<std::string> columns;
    for (std::string row; std::getline(rows, row);) {
        columns.push_back(row.substr(row.find("  ") + 2));  // after the time
    }
    EXPECT_EQ(columns, (std::vector<std::string>{
                           "USB-1 [1-1]  initialise  AB-01  ZAN 0 -> -  new.pof  did not finish",
                           "USB-2 [1-2]  initialise  AB-02  ZAN 0 -> 4  new.pof  done"}));
    EXPECT_EQ(report.err,
              console("Cable USB-1 [1-1]: its last run did not finish; it may still be in select "
                      "mode: run cablewright --cable \"USB-1 [1-1]\" --leave-select-mode\n"
                      "Skipped 1 lines of " +
                      history + " that are not records\n"));
}

// Eight runs at once on eight blank cables, one history: eight different serials; a station
// after them takes the next ones.
TEST_F(History, RunsAtOnceNeverShareASerial) {
    const std::string file = write_pof("new.pof", cable_rom(4, 2, "AB-##", true));
    const int kRuns = 8;
    std::vector<ChildRun> runs(kRuns);
    std::vector<std::thread> threads;
    for (int i = 0; i < kRuns; ++i) {
        const std::string name = "USB-" + std::to_string(i + 1) + " [2-1]";
        add_cable(name, nullptr);
        ChildSpec child = cablewright_child(
            {"--serials", "AB-10..AB-99", "--log", "history.jsonl", "-c", name, file});
        threads.emplace_back([&runs, i, child, this] { runs[i] = run(child); });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    std::set<std::string> serials;
    for (const ChildRun& r : runs) {
        EXPECT_EQ(r.status, 0) << r.err;
    }
    for (const Json& record : records_in((fs::path(work_) / "history.jsonl").string())) {
        if (text_of(record, "record") == "end") {
            serials.insert(text_of(record, "serial_after"));
        }
    }
    EXPECT_EQ(serials, (std::set<std::string>{"AB-10", "AB-11", "AB-12", "AB-13", "AB-14", "AB-15",
                                              "AB-16", "AB-17"}));

    // Then a station on the same history: the eight are up to date, two new blank cables take
    // the next two serials.
    add_cable("USB-9 [2-2]", nullptr);
    add_cable("USB-10 [2-2]", nullptr);
    ChildRun station =
        cablewright({"--all", "--serials", "AB-10..AB-99", "--log", "history.jsonl", file});
    EXPECT_EQ(station.status, 0) << station.err;
    for (const char* row : {"USB-9 [2-2]: serial AB-18, ZAN - -> 4, initialised\n",
                            "USB-10 [2-2]: serial AB-19, ZAN - -> 4, initialised\n",
                            "2 initialised, 8 up to date\n"}) {
        EXPECT_NE(station.out.find(console(row)), std::string::npos) << station.out;
    }
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
