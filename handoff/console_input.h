// Keys typed ahead at a terminal, as one platform service.
#pragma once

#include <cstdio>

// When `in` is a terminal or console, discards whatever was typed but not yet read (the
// system's queue and the stream's own buffer), so that only keys typed from now on count.
// A pipe or file is left alone: there every line is meant.
void discard_typed_ahead(std::FILE* in);

// True when standard output and standard error are both terminals (consoles): a prompt left
// open on the one shows where messages on the other appear.
bool output_and_errors_on_terminal();
