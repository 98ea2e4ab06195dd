// The help screen and the version line.
#pragma once

// The help screen: synopsis, one line per option, exit statuses, examples.
const char* help_text();

// Prints help_text to standard output.
void print_help();

// The program's version, e.g. "0.1.0".
const char* tool_version();

// Prints "cablewright <version>" to standard output.
void print_version();
