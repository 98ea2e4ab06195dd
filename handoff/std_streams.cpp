#include <cstdio>

#include "handoff/std_streams.h"

bool standard_output_written() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) {
        return true;
    }
    std::fputs("Unable to write to standard output\n", stderr);
    return false;
}
