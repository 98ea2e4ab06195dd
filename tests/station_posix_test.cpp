// The station end to end on POSIX: signals passed on to the runs, and refusals before any run.
// The runs' ends and the lines they pass through a pipe are in station_test.cpp, for both systems.
#include <signal.h>

#include <fstream>
#include <map>

#include "tests/station_fixture.h"

namespace {

// Ctrl-C while three runs are in select mode: each run is told, returns its cable to normal
// mode unprogrammed, and the station reports every cable as interrupted.
TEST_F(Station, AnInterruptReachesEveryRunInFlight) {
    const RomImage rom = cable_rom(3, 2, "A-0001", true);
    const RomImage file = cable_rom(4, 2, "A-####", true);
    std::vector<int> ids;
    for (const char* name : kStationCables) {
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
    for (const char* name : kStationCables) {
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
    const int id = add_cable(kStationCables[0], &rom);
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
