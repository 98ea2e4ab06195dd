#include <cstdio>

#include "cable/linkhub_binding.h"
#include "cable/pause.h"
#include "driver/options.h"
#include "driver/reprogram.h"
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
    if (!bind_linkhub_client()) {
        return kStatusFailed;
    }
    RunServices services;
    services.pause = [](std::uint32_t ms, CableStep) { pause_ms(ms); };
    services.run_programmer = run_programmer;
    services.prompt_jumpers = [](JumperMode mode) { prompt_jumpers(mode); };
    services.arm_interrupt_guard = arm_interrupt_guard;
    services.interrupt_requested = interrupt_requested;
    services.finish_interrupt_guard = finish_interrupt_guard;
    services.standard_output_written = standard_output_written;
    return reprogram_cable(options.cable, options.file, options.debug, options.force,
                           options.dry_run, options.serial, services);
}
