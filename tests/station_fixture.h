// The station end to end: a bench with cables for `--all`, and what the station left behind.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/bench_fixture.h"

// The cables the station tests attach.
extern const char* const kStationCables[3];

class Station : public BenchTest {
  protected:
    // The station's private folder goes to a temporary folder of the test's own, which must be
    // empty again afterwards.
    ChildSpec station(const std::vector<std::string>& args);

    // Nothing of any run is left: no private folder or temporary file in the working folder,
    // nothing in the station's temporary folder.
    void expect_nothing_left();

    std::string temp_;
};

// Standard error's lines by the cable of kStationCables they name, without the name; a line
// naming none is kept under "". Lines end in "\n" in place of the console's line end.
std::map<std::string, std::string> lines_by_cable(const std::string& err);
