// The station end to end: real runs of the program, one per cable, at once. What it decides per
// cable and how it counts is tested in process (driver/station_test.cpp); here what needs real
// processes: the runs' ends, the lines they pass through a pipe, and what is left.
#include <fstream>
#include <map>

#include "tests/station_fixture.h"

namespace {

// One cable updated, one up to date, one whose run fails: each run's lines pass whole through
// the pipe with its name, the failed run's whole output follows at the end, the rows and the
// count say what happened, and every run kept its history under the station's batch.
TEST_F(Station, UpdatesOneLeavesOneAndReportsAFailure) {
    const RomImage old_rom = cable_rom(3, 2, "A-0001", true);
    const RomImage current_rom = cable_rom(4, 2, "A-0002", true);
    const RomImage failing_rom = cable_rom(3, 2, "A-0003", true);
    const RomImage file = cable_rom(4, 2, "A-####", true);
    const int updated = add_cable(kStationCables[0], &old_rom);
    const int current = add_cable(kStationCables[1], &current_rom);
    const int failing = add_cable(kStationCables[2], &failing_rom);
    // Its run cannot switch it to select mode: nothing is programmed, the run fails.
    change_cable(failing, [](CableRecord& c) { c.faults.set_parameter.code = 34; });
    ChildRun r = run(station({"--all", "--log", "history.jsonl", write_pof("new.pof", file)}));

    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.out, console("STN-1 [1-1]: serial A-0001, ZAN 3 -> 4, updated\n"
                             "STN-2 [1-2]: serial A-0002, ZAN 4 -> 4, up to date\n"
                             "STN-3 [1-3]: serial A-0003, ZAN 3 -> -, failed\n"
                             "1 updated, 1 up to date, 1 failed\n"));
    std::map<std::string, std::string> lines = lines_by_cable(r.err);
    EXPECT_EQ(lines.count(""), 0u) << r.err;
    EXPECT_EQ(lines.count(kStationCables[1]), 0u) << "a cable left alone says nothing";
    const std::string command_line =
        "vantor_pgm -c \"STN-1 [1-1]\" -m jtag -o \"p;cablewright.tmp.pof\"\n";
    EXPECT_EQ(lines[kStationCables[0]],
              update_head(kStationCables[0], old_rom, file) + command_line + "Finished\n");
    // Its lines as they came, then its whole output once more: the dumps, then the messages.
    const std::string& failed = lines[kStationCables[2]];
    const std::size_t messages = failed.find(update_head(kStationCables[2], failing_rom, file));
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

}  // namespace
