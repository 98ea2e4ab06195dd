// Waiting with a countdown that a person at a terminal can see.
#pragma once

#include <cstdint>
#include <cstdio>

// A wait of `ms` milliseconds.
using PauseFunction = void (*)(std::uint32_t ms);

// Waits `ms` milliseconds through pause_ms. When standard error is a terminal, one line there
// says "<what> (N s)" counting down and is erased completely afterwards; to a pipe or a file
// nothing is written.
void pause_with_countdown(std::uint32_t ms, const char* what);

// The terminal case on its own: writes the countdown line for `what` to `out` while `pause`
// waits `ms` milliseconds in steps of at most a second, then erases the line. Meanwhile the line
// is marked open (set_open_line), so that a message starts on a line of its own.
void count_down(std::FILE* out, std::uint32_t ms, const char* what, PauseFunction pause);
