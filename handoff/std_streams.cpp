#include <cstdio>

#include "common/message.h"
#include "handoff/std_streams.h"

bool standard_output_written() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) {
        return true;
    }
    put_message("Unable to write to standard output\n");
    return false;
}
