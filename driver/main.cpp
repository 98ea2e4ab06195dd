#include "driver/options.h"
#include "driver/reprogram.h"

int main(int argc, char** argv) {
    Options options;
    if (!parse_command_line(argc, argv, options)) {
        return kStatusMisuse;
    }
    return reprogram_cable(options.cable, options.file, options.debug, options.force,
                           options.dry_run, options.serial);
}
