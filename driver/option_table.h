// Every option of the command line, described once: the argument walk, the conflict checks, the
// help screen's option rows and the bash completion's option words all follow from this table.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "driver/options.h"

// The most words one option can be refused with.
constexpr std::size_t kMaxConflicts = 10;

// The word that stands for the file name in a conflict rule and its message.
constexpr const char* kFileWord = "a file";

struct OptionRow {
    const char* name;     // long form, e.g. "--cable"; matched in any letter case
    char letter;          // short form "-c" (in any letter case), or 0 for none
    bool Options::*flag;  // the field a flag sets; null for a value option
    // The field a value option fills from the next word or from "--name=value"; null for a flag.
    std::optional<std::string> Options::*value;
    const char* value_name;  // the value in the help screen, e.g. "<cable>"; null for a flag
    // Options with conflict rules are checked in this order, 1 first; 0 for none.
    int conflict_order;
    // Words refused beside this option, in the order they are looked for; the first one present
    // is reported as "Option <name> cannot be used with <word>".
    const char* cannot_go_with[kMaxConflicts];
    // Refused on a line without a file: it only changes what an update does.
    bool needs_file;
    const char* help;  // its help screen text; each '\n' starts an indented continuation line
};

// The rows, in the order of the help screen and the completion words.
struct OptionRows {
    const OptionRow* first;
    std::size_t count;
    const OptionRow* begin() const { return first; }
    const OptionRow* end() const { return first + count; }
};

// Every option of the command line.
OptionRows option_rows();

// The row whose long or short form arg is (in any letter case), or null.
const OptionRow* find_option(const char* arg);
