// The program's one procedure: show a cable's ROM, or update its ZAN logic from a POF file.
#pragma once

#include <optional>
#include <string>

#include "cable/cable_operation.h"
#include "driver/cable_lock.h"
#include "driver/history.h"
#include "driver/options.h"
#include "driver/run_folder.h"
#include "handoff/jumper_prompt.h"
#include "handoff/programmer.h"

// What the run needs from the console and the operating system besides the client library.
// main fills in the real ones; tests put in their own to drive every path in one process.
struct RunServices {
    SettlePause pause;               // after each mode switch, while the cable is locked
    void (*wait)(std::uint32_t ms);  // between tries to switch back to normal mode
    // Runs the programmer's command with a limit, in setup's folder and holding setup's handles;
    // true only when it programmed.
    bool (*run_programmer)(const ProcessCommand& command, int timeout_ms, const ChildSetup& setup);
    void (*prompt_jumpers)(JumperMode mode);  // shows a jumper screen and waits for ENTER
    void (*arm_interrupt_guard)();            // from here on an interrupt is only recorded
    bool (*interrupt_requested)();
    void (*finish_interrupt_guard)();  // the run's cleanup is done and its last line printed
    // Flushes standard output; false, with its message printed, when some of it was lost.
    bool (*standard_output_written)();
    // The host-wide lock of a cable, as lock_cable; taken by every run that changes a cable.
    CableLockResult (*lock_cable)(const std::string& name, CableLock& lock);
    // The run's private folder, as make_run_folder.
    bool (*make_run_folder)(const std::string& cable, RunFolder& folder);
};

// Runs the whole procedure for the parsed options (cable, file, serial, debug, force, dry_run)
// and returns the exit status. With an opened history the run writes its records there (null:
// none kept).
int reprogram_cable(const Options& options, const RunServices& services, RunLog* history = nullptr);

// Switches a cable that a stopped run may have left in select mode back to normal mode, then
// reads and shows its ROM as a show run does (options.cable and options.debug as there). Returns
// the exit status. history, when given, gets the run's records.
int leave_select_mode_run(const Options& options, const RunServices& services,
                          RunLog* history = nullptr);
