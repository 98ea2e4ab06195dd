#include <cstdio>

#include "cable/countdown.h"
#include "cable/linkhub_binding.h"
#include "cable/pause.h"
#include "driver/front_door.h"
#include "driver/history.h"
#include "driver/history_report.h"
#include "driver/options.h"
#include "driver/reprogram.h"
#include "driver/station.h"
#include "handoff/interrupt.h"
#include "handoff/jumper_prompt.h"
#include "handoff/programmer.h"
#include "handoff/std_streams.h"

int main(int argc, char** argv) {
    open_missing_standard_streams();
    prepare_signals();
    // Dumps go to standard output and messages to standard error: unbuffered, they keep their
    // order in a combined log or pipe.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    Options options;
    if (!parse_command_line(argc, argv, options)) {
        return kStatusMisuse;
    }
    // A report reads the history alone.
    if (options.history && !options.help && !options.version) {
        return report_history(options);
    }
    // The help screen and the version need no cable, so no client library either.
    if (!options.help && !options.version && !bind_linkhub_client()) {
        return kStatusFailed;
    }
    // Opened before any cable is touched; help and version never get this far with it.
    RunLog log;
    if (options.log && !options.help && !options.version &&
        !open_run_log(log, *options.log, argc, argv, interrupt_requested)) {
        return kStatusFailed;
    }
    log.batch = options.batch;
    if (options.all) {
        return run_station(options, argv[0], log);
    }
    int status = kStatusDone;
    if (answer_front_door(options, standard_output_written, status, &log)) {
        return status;
    }
    RunServices services;
    services.pause = [](std::uint32_t ms, CableStep step) {
        pause_with_countdown(ms, step == CableStep::kEnterSelectMode
                                     ? "Waiting for the cable to enter select mode"
                                     : "Waiting for the cable to leave select mode");
    };
    services.wait = pause_ms;
    services.lock_cable = lock_cable;
    services.make_run_folder = make_run_folder;
    services.run_programmer = run_programmer;
    services.prompt_jumpers = [](JumperMode mode) { prompt_jumpers(mode); };
    services.arm_interrupt_guard = arm_interrupt_guard;
    services.interrupt_requested = interrupt_requested;
    services.finish_interrupt_guard = finish_interrupt_guard;
    services.standard_output_written = standard_output_written;
    if (options.leave_select_mode) {
        return leave_select_mode_run(options, services, &log);
    }
    return reprogram_cable(options, services, &log);
}
