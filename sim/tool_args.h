// Argument handling shared by the bench tool's subcommands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Exit statuses of the bench tool.
constexpr int kToolOk = 0;
constexpr int kToolFailed = 1;
constexpr int kToolUsage = 2;

struct OptionSpec {
    const char* name;  // e.g. "--version"
    bool takes_value;
};

struct ToolArgs {
    std::vector<std::string> positionals;
    std::map<std::string, std::string> options;  // flags map to ""
};

// Splits args into positionals and the options in specs ("--" ends the options). False after a
// message for an unknown option or a missing value.
bool parse_tool_args(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                     ToolArgs& out);

// True when the option was given.
bool has_option(const ToolArgs& args, const char* name);

// Takes the bench directory: the first positional when there are needed + 1 of them, else
// LINKHUB_BENCH when there are exactly needed. False after a message otherwise.
bool take_bench_dir(ToolArgs& args, std::size_t needed, const char* command, std::string& dir);

// Like take_bench_dir, and the bench must exist.
bool take_existing_bench(ToolArgs& args, std::size_t needed, const char* command, std::string& dir);

// Reads the number option name into value when given. False after a message for a bad number.
bool number_option(const ToolArgs& args, const char* name, std::uint32_t limit,
                   std::uint32_t& value);
