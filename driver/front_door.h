// The words that need no update run: --help, --version, --list, and --json for a show run.
#pragma once

#include "driver/history.h"
#include "driver/options.h"

// Answers options when one of those words asks for it: true, with the exit status in `status`.
// False when the run is an ordinary show or update, which reprogram_cable does. What was written
// to standard output is checked with output_written (as RunServices::standard_output_written):
// output that never arrived is no success. A JSON show run writes its records to an opened
// history (null: none kept).
bool answer_front_door(const Options& options, bool (*output_written)(), int& status,
                       RunLog* history = nullptr);
