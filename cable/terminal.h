// Whether a person watches standard error, as one platform service.
#pragma once

// True when standard error is a terminal (a console on Windows), not a pipe or a file.
bool stderr_is_terminal();
