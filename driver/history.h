// A run's history: two JSON Lines records appended to the file named by --log, one before the
// run changes anything and one after its cleanup, so that a start without its end marks a run
// that was killed and names its cable.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/exit_status.h"
#include "image/pof_file.h"
#include "image/rom_image.h"

struct HistoryFile;

// How long a record waits for another program that holds the history's lock.
constexpr int kHistoryLockTimeoutMs = 10000;

// How a run ended, as the end record tells it.
enum class RunOutcome { kDone, kRefused, kFailed, kInterrupted };

// The history of one run. One never opened keeps none, and its calls do nothing.
struct RunLog {
    HistoryFile* file = nullptr;
    std::string path;
    std::string run;                   // 16 hex digits pairing the two records
    std::optional<std::string> batch;  // the station run this run belongs to (--batch)
    std::vector<std::string> argv;
    std::vector<std::string> messages;  // the message lines printed so far
    bool (*interrupted)() = nullptr;    // ends a wait for the history's lock
    bool ended = false;
    // What the run learnt as it went; what it never learnt is null in the records.
    std::optional<std::string> cable;
    std::optional<std::string> serial_requested;  // the --serial value, even when refused
    std::optional<RomImage> merged;               // the image that was to be programmed
    std::optional<RomImage> read_back;
    std::optional<RomImage> as_read;    // the ROM the start record gave, until read_back tells more
    bool programmer_started = false;    // from then on the cable may have been written
    std::optional<std::string> counts;  // a station's counts, a JSON object for its end record
};

// Opens the history at path before any cable is touched and keeps the run's messages from now
// on; the interrupt guard's acknowledgement counts among them once `interrupted` turns true.
// A record waits for the history's lock at most kHistoryLockTimeoutMs, and no longer once
// `interrupted` turns true. False after "Unable to open log %s\n".
bool open_run_log(RunLog& log, const std::string& path, int argc, const char* const* argv,
                  bool (*interrupted)());

// Writes the start record of an action ("show", "dry-run", "update", "initialise",
// "leave-select-mode") on log.cable, with the ROM as read (null: none read) and the loaded file
// (null: none). False after "Unable to write log %s\n": the run must stop before any change.
bool log_start(RunLog& log, const char* action, const RomImage* rom, const std::string* file_path,
               const PofImage* pof);

// Writes the end record and closes the history. Returns status, or kStatusFailed after
// "Unable to write log %s\n" when status was 0: an update the history cannot prove must not
// read as plain success.
int log_end(RunLog& log, int status, RunOutcome outcome);

// A serial record: run `log.run` took serial for cable, before touching it. One line with its
// line end.
std::string serial_record(const RunLog& log, const std::string& cable, const std::string& serial);

// A new run id: 16 upper-case hex digits, different for runs on one machine at one moment.
std::string new_run_id();

// ms_since_epoch as "YYYY-MM-DDThh:mm:ss.mmmZ" (UTC); empty when the system cannot express that
// time.
std::string utc_time_text(std::int64_t ms_since_epoch);
