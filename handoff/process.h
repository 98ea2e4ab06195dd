// Running a program as a child process with a time limit, as one platform service.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How a started command ended: never started; finished by itself; stopped at the limit; still
// there after it was killed at the limit; or its end could not be learnt.
enum class ProcessOutcome { kNotStarted, kFinished, kTimedOut, kUnstoppable, kWaitFailed };

struct ProcessResult {
    ProcessOutcome outcome = ProcessOutcome::kNotStarted;
    // For kFinished: the exit code (Windows: as signed 32-bit), or 128+N for a POSIX child
    // ended by signal N. Meaningless otherwise.
    int exit_status = 0;
};

// A program to start: argv[0] and its arguments, and the same as one command line written by
// Windows rules, which is what a run shows for it and, on Windows, what the program is given.
struct ProcessCommand {
    std::vector<std::string> argv;
    std::string line;
};

// Where a started program runs and which of this program's handles it keeps.
struct ChildSetup {
    std::string folder;  // its working folder; empty: this program's
    // Open descriptors (POSIX) or HANDLEs (Windows) it inherits, so that locks held through them
    // stay held while it lives. On Windows it inherits these alone; on POSIX every other
    // descriptor keeps its close-on-exec setting.
    std::vector<std::intptr_t> inherited;
};

// Starts command.argv[0] with the arguments that follow (no shell, the caller's environment and
// console, the folder and handles of setup) and waits up to timeout_ms for it; an empty argv is
// not started. POSIX: a bare name is found in the absolute folders of PATH alone (never beside
// the user's files), it runs in a process group of its own with the signal dispositions this
// program was started with, never takes the terminal's foreground (keys typed there reach this
// program), receives each interrupt this program records, and is stopped and continued with this
// program at Ctrl-Z, the stopped time not counting toward the limit. At the limit the group gets
// SIGTERM (and SIGCONT), SIGKILL 2 s later, then up to 10 s more to end. Windows: the program is
// found in trusted folders only, it is given command.line, and it ends with its own child processes
// at the limit.
ProcessResult run_process(const ProcessCommand& command, int timeout_ms,
                          const ChildSetup& setup = {});
