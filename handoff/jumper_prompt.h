// Guiding the user through the daughter-card jumpers of hardware-id-1 cables.
#pragma once

#include <cstdio>
#include <string>

// The jumper setting a screen asks for: before programming, and back afterwards.
enum class JumperMode { kReprogram, kNormal };

// The whole screen for mode, from the heading to "Press ENTER when ready:" (no line end).
std::string format_jumper_screen(JumperMode mode);

// Prints the screen to standard output, then reads and discards one line of in (through the
// newline, or up to end of input, a read error or an interrupt), then prints "\n". End of input
// or a read error is the user's interrupt: one is recorded (record_interrupt). Returns without
// reading when an interrupt was already recorded.
void prompt_jumpers(JumperMode mode, std::FILE* in = stdin);
