// The command line of cablewright.
#pragma once

#include <optional>
#include <string>

#include "common/exit_status.h"

struct Options {
    std::optional<std::string> cable;  // none: choose the one suitable cable
    std::optional<std::string> file;   // none: only read and show the cable's ROM
    bool debug = false;                // also dump the cable image when fix-ups changed it
    bool force = false;    // program even when the file is not newer or has no signature
    bool dry_run = false;  // stop after the merged image is shown
    std::optional<std::string> serial;  // for a blank cable
    bool help = false;                  // print the help screen and touch no cable
    bool version = false;               // print the version and touch no cable
    bool list = false;                  // list the attached cables instead of showing one
    bool json = false;  // one JSON document on standard output instead of dumps and lines
    bool leave_select_mode = false;    // switch a cable back to normal mode and show its ROM
    std::optional<std::string> log;    // history file that the run appends its records to
    bool all = false;                  // update every suitable cable attached, each in its own run
    std::optional<std::string> jobs;   // with --all: the most runs at once, as typed
    std::optional<std::string> batch;  // the station run that this run belongs to, for the history
    std::optional<std::string> serials;  // FIRST..LAST: serials for blank cables, as typed
    std::optional<std::string> history;  // a history to report on, touching no cable
};

// The most runs a station starts at once.
constexpr int kMaxJobs = 1024;

// The number text gives when it is decimal digits only with a value from 1 to kMaxJobs (leading
// zeros allowed); 0 otherwise.
int job_limit(const std::string& text);

// Fills options from argv. Returns false on misuse, after printing its messages. --help and
// --version anywhere (outside a value option's value) win over every other word and every misuse.
bool parse_command_line(int argc, const char* const* argv, Options& options);
