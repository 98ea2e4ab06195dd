// The runs of a station: this program started again for each cable to program, at most a number
// at once, with what they print passed on to the user.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "driver/history.h"
#include "driver/options.h"
#include "driver/station.h"

struct StationRuns {
    std::string program;    // this program's full path
    std::string folder;     // the station's private folder, for the runs' output files
    std::size_t limit = 1;  // the most runs at once
    bool terminal = false;  // standard error is a terminal: one line per cable, kept current
    std::size_t columns = 80;
};

// Starts a run for every cable marked to_program, in order, and waits for all of them; each
// cable gets its outcome, status and messages from its run (and, when it did not end well, its
// run's whole output as its reasons). The runs' message lines pass on prefixed with the cable's
// name, or the terminal's view shows each cable's phase. After an interrupt (the guard must be
// armed) it is passed on to every run in flight, no run starts, and cables not started are
// interrupted.
void run_cables(std::vector<StationCable>& cables, const Options& options, const RunLog& log,
                const StationRuns& runs);
