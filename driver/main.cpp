#include <cstdio>

#include "driver/front_door.h"
#include "driver/options.h"
#include "driver/reprogram.h"

int main(int argc, char** argv) {
    // Dumps go to standard output and messages to standard error: unbuffered, they keep their
    // order in a combined log or pipe.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    Options options;
    if (!parse_command_line(argc, argv, options)) {
        return kStatusMisuse;
    }
    int status = kStatusDone;
    if (answer_front_door(options, status)) {
        return status;
    }
    return reprogram_cable(options.cable, options.file, options.debug, options.force,
                           options.dry_run, options.serial);
}
