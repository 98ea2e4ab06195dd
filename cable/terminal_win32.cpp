#include <windows.h>

#include "cable/terminal.h"

bool stderr_is_terminal() {
    // Only a console has a console mode; a pipe or a file fails the call.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
