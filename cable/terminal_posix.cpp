#include <unistd.h>

#include "cable/terminal.h"

bool stderr_is_terminal() {
    return isatty(STDERR_FILENO) == 1;
}
