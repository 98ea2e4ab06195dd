#include <io.h>
#include <windows.h>

#include "handoff/console_input.h"

bool output_and_errors_on_terminal() {
    return _isatty(1) != 0 && _isatty(2) != 0;
}

void discard_typed_ahead(std::FILE* in) {
    const int fd = _fileno(in);
    if (fd < 0) {
        return;
    }
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    // A console hands over one line per read, so the stream holds nothing past the last ENTER.
    if (h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode)) {
        FlushConsoleInputBuffer(h);
    }
}
