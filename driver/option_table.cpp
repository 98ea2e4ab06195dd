#include "driver/option_table.h"

#include "image/ascii.h"

namespace {

// A station programs the file on every cable it finds, so it names none and takes no serial.
// Listing and leaving select mode program nothing, and a listing keeps no history; the JSON
// document describes cables, not a file. Of two modes on one line the one checked first is named.
// What only shapes an update is refused without a file, so that an empty file variable in a
// script cannot turn an update into a show run that reports success.
// clang-format off
const OptionRow kRows[] = {
    // name, letter, flag, value, value_name, conflict_order, cannot_go_with, needs_file, help
    {"--cable", 'c', nullptr, &Options::cable, "<cable>", 0, {}, false,
     "use the cable of this name (also --cable=<cable>)"},
    {"--serial", 'S', nullptr, &Options::serial, "<serial>", 0, {}, true,
     "serial number for a blank cable, in the file's format\n"
     "('#' stands for a digit; also --serial=<serial>)"},
    {"--serials", 0, nullptr, &Options::serials, "<first..last>", 6, {"--serial"}, true,
     "serials for blank cables from this range, each taken\n"
     "once through the history (needs --log)"},
    {"--force", 'f', &Options::force, nullptr, nullptr, 0, {}, true,
     "program even when the file is not newer or unsigned"},
    {"--dry-run", 'n', &Options::dry_run, nullptr, nullptr, 0, {}, true,
     "stop after showing the merged image; change nothing"},
    {"--debug", 'd', &Options::debug, nullptr, nullptr, 0, {}, false,
     "also dump the cable's image when fix-ups changed it"},
    {"--all", 'a', &Options::all, nullptr, nullptr, 1,
     {"--cable", "--serial", "--list", "--leave-select-mode", "--batch", "--history"}, true,
     "update every suitable cable attached, each in a run\n"
     "of its own, all at once"},
    {"--jobs", 0, nullptr, &Options::jobs, "<n>", 0, {}, false,
     "with --all: at most n runs at once (1 to 1024;\n"
     "also --jobs=<n>)"},
    {"--list", 'l', &Options::list, nullptr, nullptr, 3,
     {"--leave-select-mode", kFileWord, "--serial", "--serials", "--force", "--dry-run", "--log"},
     false,
     "list the attached cables and what their ROMs hold"},
    {"--json", 0, &Options::json, nullptr, nullptr, 5, {kFileWord}, false,
     "print one JSON document instead of dumps and lines\n"
     "(when showing a cable, with --list or with --all)"},
    {"--log", 0, nullptr, &Options::log, "<history>", 0, {}, false,
     "append the run's start and end records, JSON Lines,\n"
     "to this file (also --log=<history>)"},
    {"--batch", 0, nullptr, &Options::batch, "<id>", 0, {}, false,
     "add \"batch\":<id> to the run's history records\n"
     "(also --batch=<id>)"},
    {"--leave-select-mode", 0, &Options::leave_select_mode, nullptr, nullptr, 4,
     {kFileWord, "--serial", "--serials", "--force", "--dry-run", "--json"}, false,
     "switch a cable that a stopped run left in select\n"
     "mode back to normal mode, then show its ROM"},
    {"--history", 0, nullptr, &Options::history, "<history>", 2,
     {"--force", "--dry-run", "--debug", "--jobs", "--list", "--log", "--batch",
      "--leave-select-mode", "--serials", kFileWord}, false,
     "report the runs of this history, one row each (only\n"
     "a cable's or a serial's with --cable or --serial)"},
    {"--help", 'h', &Options::help, nullptr, nullptr, 0, {}, false,
     "print this help and exit"},
    {"--version", 'V', &Options::version, nullptr, nullptr, 0, {}, false,
     "print the version and exit"},
};
// clang-format on

}  // namespace

OptionRows option_rows() {
    return {kRows, sizeof kRows / sizeof kRows[0]};
}

const OptionRow* find_option(const char* arg) {
    for (const OptionRow& row : kRows) {
        const char letter[] = {'-', row.letter, '\0'};
        if (equal_ignoring_ascii_case(arg, row.name) ||
            (row.letter != 0 && equal_ignoring_ascii_case(arg, letter))) {
            return &row;
        }
    }
    return nullptr;
}
