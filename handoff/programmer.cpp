#include "handoff/programmer.h"

#include <cstdio>
#include <string>

#include "common/message.h"
#include "handoff/interrupt.h"
#include "handoff/process.h"

ProcessCommand programmer_command(const std::string& cable, const std::string& path) {
    const std::string target = "p;" + path;
    return {{"vantor_pgm", "-c", cable, "-m", "jtag", "-o", target},
            "vantor_pgm -c " + quote_argument(cable) + " -m jtag -o " + quote_argument(target)};
}

bool run_programmer(const ProcessCommand& command, int timeout_ms, const ChildSetup& setup) {
    // The run reports the interrupt itself once it has put the cable back.
    if (interrupt_requested()) {
        return false;
    }
    put_message((command.line + "\n").c_str());
    // The programmer writes to the same console; our pending output must come first.
    std::fflush(stdout);
    std::fflush(stderr);

    return report_programmer_end(run_process(command, timeout_ms, setup));
}

bool report_programmer_end(const ProcessResult& result) {
    switch (result.outcome) {
        case ProcessOutcome::kNotStarted:
            put_message("Unable to start the programmer\n");
            return false;
        case ProcessOutcome::kTimedOut:
            // The message names the product's limit; tests pass shorter ones.
            static_assert(kProgrammerTimeoutMs == 60000, "the timeout message says 60 seconds");
            put_message("The programmer did not finish within 60 seconds and was stopped\n");
            return false;
        case ProcessOutcome::kUnstoppable:
            put_message("The programmer could not be stopped\n");
            return false;
        case ProcessOutcome::kWaitFailed:
            put_message("Unable to collect the programmer's exit status\n");
            return false;
        case ProcessOutcome::kFinished:
            break;
    }
    if (result.exit_status != 0) {
        // Even 130 or 131: a key the user typed reached this program, which recorded it already;
        // the programmer's own status is no interrupt.
        print_message("The programmer failed with exit status %d\n", result.exit_status);
        return false;
    }
    return true;
}
