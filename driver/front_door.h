// The words that need no update run: --help, --version, --list, and --json for a show run.
#pragma once

#include "driver/history.h"
#include "driver/options.h"

// Answers options when one of those words asks for it: true, with the exit status in `status`.
// False when the run is an ordinary show or update, which reprogram_cable does. A JSON show run
// writes its records to an opened history (null: none kept).
bool answer_front_door(const Options& options, int& status, RunLog* history = nullptr);
