// The station end to end: real runs of the program, one per cable, at once. What it decides per
// cable and how it counts is tested in process (driver/station_test.cpp); here what needs real
// processes: the runs' ends, the lines they pass through a pipe, interrupts, and what is left.
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "tests/bench_fixture.h"

namespace fs = std::filesystem;

namespace {

const char* const kNames[] = {"STN-1 [1-1]", "STN-2 [1-2]", "STN-3 [1-3]"};

class Station : public BenchTest {
  protected:
    // The station's private folder goes to a temporary folder of the test's own, which must be
    // empty again afterwards.
    ChildSpec station(const std::vector<std::string>& args) {
        temp_ = root_ + "/tmp";
        fs::create_directories(temp_);
        ChildSpec child = cablewright_child(args);
        child.env.push_back({"TMPDIR", temp_});
        child.deadline_ms = 25000;
        return child;
    }

    // Nothing of any run is left: no private folder or temporary file in the working folder,
    // nothing in the station's temporary folder.
    void expect_nothing_left() {
        EXPECT_FALSE(temp_file_left());
        EXPECT_TRUE(private_folders().empty());
        EXPECT_TRUE(fs::is_empty(temp_));
    }

    std::string temp_;
};

// Standard error's lines by the cable they name; a line naming none is kept under "".
std::map<std::string, std::string> lines_by_cable(const std::string& err) {
    std::map<std::string, std::string> by_cable;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) {
        std::string owner;
        for (const char* name : kNames) {
            if (line.rfind(std::string(name) + ": ", 0) == 0) {
                owner = name;
                line.erase(0, owner.size() + 2);
            }
        }
        by_cable[owner] += line + "\n";
    }
    return by_cable;
}

// One cable updated, one up to date, one whose run fails: each run's lines pass whole through
// the pipe with its name, the failed run's whole output follows at the end, the rows and the
// count say what happened, and every run kept its history under the station's batch.
TEST_F(Station, UpdatesOneLeavesOneAndReportsAFailure) {
    const RomImage old_rom = cable_rom(3, 2, "A-0001", true);
    const RomImage current_rom = cable_rom(4, 2, "A-0002", true);
    const RomImage failing_rom = cable_rom(3, 2, "A-0003", true);
    const RomImage file = cable_rom(4, 2, "A-####", true);
    const int updated = add_cable(kNames[0], &old_rom);
    const int current = add_cable(kNames[1], &current_rom);
    const int failing = add_cable(kNames[2], &failing_rom);
    // Its run cannot switch it to select mode: nothing is programmed, the run fails.
    change_cable(failing, [](CableRecord& c) { c.faults.set_parameter.code = 34; });
    ChildRun r = run(station({"--all", "--log", "history.jsonl", write_pof("new.pof", file)}));

    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.out,
              "STN-1 [1-1]: serial A-0001, ZAN 3 -> 4, updated\n"
              "STN-2 [1-2]: serial A-0002, ZAN 4 -> 4, up to date\n"
              "STN-3 [1-3]: serial A-0003, ZAN 3 -> -, failed\n"
              "1 updated, 1 up to date, 1 failed\n");
    std::map<std::string, std::string> lines = lines_by_cable(r.err);
    EXPECT_EQ(lines.count(""), 0u) << r.err;
    EXPECT_EQ(lines.count(kNames[1]), 0u) << "a cable left alone says nothing";
    const std::string command_line =
        "vantor_pgm -c \"STN-1 [1-1]\" -m jtag -o \"p;cablewright.tmp.pof\"\n";
    EXPECT_EQ(lines[kNames[0]],
              update_head(kNames[0], old_rom, file) + command_line + "Finished\n");
    // Its lines as they came, then its whole output once more: the dumps, then the messages.
    const std::string& failed = lines[kNames[2]];
    const std::size_t messages = failed.find(update_head(kNames[2], failing_rom, file));
    ASSERT_NE(messages, std::string::npos) << failed;
    const std::size_t dumps = failed.find(rom_dump("Cable", failing_rom));
    ASSERT_NE(dumps, std::string::npos) << failed;
    EXPECT_LT(messages, dumps);
    EXPECT_EQ(failed.substr(0, dumps), failed.substr(failed.size() - dumps)) << failed;
    EXPECT_EQ(failed.find("Finished"), std::string::npos);

    EXPECT_EQ(cable(updated).rom, merged_image(old_rom, file));
    EXPECT_EQ(cable(current).rom, current_rom);
    EXPECT_EQ(cable(current).times_programmed, 0u);
    EXPECT_EQ(cable(failing).rom, failing_rom);
    for (int id : {updated, current, failing}) {
        EXPECT_FALSE(cable(id).select_mode);
    }
    expect_nothing_left();

    // Two records for each run, all of the batch the station's own two records name.
    std::ifstream history(work_ + "/history.jsonl");
    std::map<std::string, int> batches;
    std::vector<std::string> station_records;
    for (std::string line; std::getline(history, line);) {
        const std::size_t at = line.find("\"batch\":\"");
        if (at == std::string::npos) {
            station_records.push_back(line);
        } else {
            ++batches[line.substr(at + 9, 16)];
        }
    }
    ASSERT_EQ(station_records.size(), 2u);
    const std::string station_run =
        station_records[0].substr(station_records[0].find("\"run\":\"") + 7, 16);
    EXPECT_EQ(batches, (std::map<std::string, int>{{station_run, 4}}));
    EXPECT_NE(station_records[0].find("\"action\":\"station\""), std::string::npos);
    EXPECT_NE(station_records[1].find("\"run\":\"" + station_run + "\""), std::string::npos);
    EXPECT_NE(station_records[1].find("\"status\":8,\"outcome\":\"failed\",\"messages\":["),
              std::string::npos);
    const std::string counts = "\"counts\":{\"updated\":1,\"up to date\":1,\"failed\":1}}";
    EXPECT_EQ(station_records[1].substr(station_records[1].size() - counts.size()), counts);
}

// Ctrl-C while three runs are in select mode: each run is told, returns its cable to normal
// mode unprogrammed, and the station reports every cable as interrupted.
TEST_F(Station, AnInterruptReachesEveryRunInFlight) {
    const RomImage rom = cable_rom(3, 2, "A-0001", true);
    const RomImage file = cable_rom(4, 2, "A-####", true);
    std::vector<int> ids;
    for (const char* name : kNames) {
        ids.push_back(add_cable(name, &rom));
    }
    ChildSpec child = station({"-a", write_pof("new.pof", file)});
    // Each run waits out its 3 s pause after entering select mode at this moment.
    child.interrupt_when = "Reprogramming cable";
    child.interrupt_delay_ms = 1500;
    child.interrupt_signal = SIGINT;
    ChildRun r = run(child);

    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.out,
              "STN-1 [1-1]: serial A-0001, ZAN 3 -> -, interrupted\n"
              "STN-2 [1-2]: serial A-0001, ZAN 3 -> -, interrupted\n"
              "STN-3 [1-3]: serial A-0001, ZAN 3 -> -, interrupted\n"
              "3 interrupted\n");
    std::map<std::string, std::string> lines = lines_by_cable(r.err);
    EXPECT_EQ(lines[""],
              "Stopping safely: every cable is returned to normal mode first\nInterrupted\n");
    EXPECT_EQ(r.err.substr(r.err.size() - 12), "Interrupted\n");
    for (const char* name : kNames) {
        SCOPED_TRACE(name);
        EXPECT_NE(lines[name].find(kInterruptAck), std::string::npos) << lines[name];
    }
    for (int id : ids) {
        EXPECT_FALSE(cable(id).select_mode);
        EXPECT_EQ(cable(id).rom, rom);
        EXPECT_EQ(cable(id).times_programmed, 0u);
    }
    expect_nothing_left();
}

// Nothing is touched when the file is bad, and no cable means status 12 as for a single run.
TEST_F(Station, RefusesBeforeTouchingAnyCable) {
    write_pof("new.pof", cable_rom(4, 2, "A-####", true));
    ChildRun none = run(station({"--all", "new.pof"}));
    EXPECT_EQ(none.status, 12);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "No JTAG hardware available\n");

    const RomImage rom = cable_rom(3, 2, "A-0001", true);
    const int id = add_cable(kNames[0], &rom);
    // Any touch of the cable would fail loudly.
    change_cable(id, [](CableRecord& c) { c.faults.lock.code = 82; });
    std::ofstream(work_ + "/bad.pof") << "not a POF file";
    ChildRun bad = run(station({"--all", "bad.pof"}));
    EXPECT_EQ(bad.status, 8);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "Did not understand POF file header\n");
    expect_nothing_left();
}

}  // namespace
