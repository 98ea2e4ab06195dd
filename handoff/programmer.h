// Handing the temporary POF file to the external programmer.
#pragma once

#include <string>

#include "handoff/command_line.h"
#include "handoff/process.h"

// The programmer's limit in milliseconds, named in its timeout message.
constexpr int kProgrammerTimeoutMs = 60000;

// The programmer's command that programs path through cable, of any length: argv vantor_pgm -c
// <cable> -m jtag -o p;<path>, as a line vantor_pgm -c "<cable>" -m jtag -o "p;<path>" with both
// values quoted by quote_argument.
ProcessCommand programmer_command(const std::string& cable, const std::string& path);

// Prints the one message for how the programmer ended, if any; true only when it exited 0. Its
// exit status is never taken for the user's interrupt, which reaches this program itself.
bool report_programmer_end(const ProcessResult& result);

// Prints command.line to standard error, runs the command as setup says and waits up to
// timeout_ms (a late programmer is stopped and waited for). True only when it ran and exited 0;
// otherwise its one failure message is printed, except that after an interrupt nothing is printed
// and nothing started.
bool run_programmer(const ProcessCommand& command, int timeout_ms = kProgrammerTimeoutMs,
                    const ChildSetup& setup = {});
