// Running a command line as a child process with a time limit, as one platform service.
#pragma once

#include <string>

// How a started command ended: never started, finished by itself, or stopped at the limit.
enum class ProcessOutcome { kNotStarted, kFinished, kTimedOut };

struct ProcessResult {
    ProcessOutcome outcome = ProcessOutcome::kNotStarted;
    // For kFinished: the exit code (Windows: as signed 32-bit), or 128+N for a POSIX child
    // ended by signal N. Meaningless otherwise.
    int exit_status = 0;
};

// Starts command_line (split by Windows rules, program found on the search path, no shell, the
// caller's environment, folder and console) and waits up to timeout_ms for it. kTimedOut means
// it was then terminated and waited for; on Windows its own child processes end with it.
ProcessResult run_process(const std::string& command_line, int timeout_ms);
