#include <stdio_ext.h>
#include <termios.h>
#include <unistd.h>

#include "handoff/console_input.h"

bool output_and_errors_on_terminal() {
    return isatty(STDOUT_FILENO) == 1 && isatty(STDERR_FILENO) == 1;
}

void discard_typed_ahead(std::FILE* in) {
    const int fd = fileno(in);
    if (fd < 0 || !isatty(fd)) {
        return;
    }
    tcflush(fd, TCIFLUSH);
    __fpurge(in);
}
