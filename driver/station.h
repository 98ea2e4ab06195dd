// The station: one file onto every suitable cable attached, each cable updated by a run of this
// program of its own, all at once.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cable/cable_list.h"
#include "driver/history.h"
#include "driver/options.h"
#include "image/pof_file.h"

// What became of one cable, in the order the count line lists them.
enum class StationOutcome {
    kUpdated,
    kInitialised,
    kWouldUpdate,      // a dry run's row for a cable it would update
    kWouldInitialise,  // the same for a blank cable
    kUpToDate,
    kRefused,
    kFailed,
    kInterrupted,
    kNeedsJumpers,
    kInUse,
};

// One cable as the station sees it.
struct StationCable {
    std::string name;
    std::optional<std::string> serial;  // none: blank, or never read
    std::optional<unsigned> zan_before;
    std::optional<unsigned> zan_after;  // the file's version, once the cable has it
    unsigned file_version = 0;
    bool blank = false;
    bool to_program = false;                  // judged worth a run of its own
    std::optional<std::string> serial_given;  // a blank cable's serial from the range
    bool run_started = false;
    StationOutcome outcome = StationOutcome::kFailed;
    std::vector<std::string> reasons;  // what the judgement said when it stopped the cable
    std::optional<int> status;         // its run's exit status; none when it had no run
    // Its run's message lines, or the judgement's when it had none.
    std::vector<std::string> messages;
};

// Judges one listed cable against the file with the run's own reconciliation, printing nothing.
// A cable to program comes back with to_program and its dry-run outcome.
// serial is for a blank cable; null when it has none.
StationCable judge_cable(const ListedCable& listed, const PofImage& file, bool force,
                         const char* serial = nullptr);

// How a cable's run ended, as the station learns it.
struct RunEnd {
    bool signalled = false;
    bool by_interrupt = false;  // ended by the interrupt the station passed on
    int exit_status = 0;
    std::string messages;  // everything the run wrote to standard error
};

// The cable's final outcome from its run's end: the run judged again, so its status decides.
StationOutcome run_outcome(const StationCable& cable, const RunEnd& end);

// True for the outcomes that end a cable well: updated, initialised, up to date.
bool ended_well(StationOutcome outcome);

// 0 when every cable ended well (a dry run: when no row stops a cable that a person must look
// at), 8 otherwise.
int station_status(const std::vector<StationCable>& cables, bool dry_run);

// Runs the station for the parsed options (options.all and options.file set) and returns the exit
// status. argv0 locates this program when the system cannot. log, when opened, gets the station's
// own start and end records (action "station", the end record with the counts); every run
// appends its records to the same history, with the station's run id as its batch.
int run_station(const Options& options, const char* argv0, RunLog& log);
