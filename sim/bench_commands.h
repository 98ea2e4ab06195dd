// The bench tool's subcommands. Each takes the arguments after its name and returns the
// tool's exit status (kToolOk, kToolFailed or kToolUsage from tool_args.h) after printing any
// failure to standard error.
#pragma once

#include <string>
#include <vector>

using Arguments = std::vector<std::string>;

// init [DIR]: creates a bench.
int command_init(const Arguments& args);

// add [DIR] NAME [--blank | --rom HEX | ROM fields]: adds a cable.
int command_add(const Arguments& args);

// remove [DIR] NAME: removes a cable.
int command_remove(const Arguments& args);

// fault [DIR] NAME KIND VALUE [--once]: sets one fault or record field of a cable.
int command_fault(const Arguments& args);

// clear [DIR] NAME: removes a cable's faults and restores its record words.
int command_clear(const Arguments& args);

// set [DIR] KEY VALUE / unset [DIR] KEY: changes a bench setting.
int command_set(const Arguments& args);
int command_unset(const Arguments& args);

// show [DIR]: prints the settings and every cable to standard output.
int command_show(const Arguments& args);

// hold [DIR] NAME SECONDS: holds a cable's chain lock for a while.
int command_hold(const Arguments& args);

// make-pof FILE [ROM fields]: writes a valid POF file.
int command_make_pof(const Arguments& args);
