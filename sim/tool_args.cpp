#include "sim/tool_args.h"

#include <cstdint>
#include <cstdio>

#include "sim/bench.h"
#include "sim/bench_format.h"

bool parse_tool_args(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                     ToolArgs& out) {
    bool options_ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_ended || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            out.positionals.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        const OptionSpec* known = nullptr;
        for (const OptionSpec& candidate : specs) {
            if (arg == candidate.name) {
                known = &candidate;
            }
        }
        if (known == nullptr) {
            std::fprintf(stderr, "cablebench: unknown option %s\n", arg.c_str());
            return false;
        }
        if (!known->takes_value) {
            out.options[arg] = "";
        } else if (i + 1 < args.size()) {
            out.options[arg] = args[++i];
        } else {
            std::fprintf(stderr, "cablebench: %s needs a value\n", arg.c_str());
            return false;
        }
    }
    return true;
}

bool has_option(const ToolArgs& args, const char* name) {
    return args.options.count(name) != 0;
}

bool take_bench_dir(ToolArgs& args, std::size_t needed, const char* command, std::string& dir) {
    if (args.positionals.size() == needed + 1) {
        dir = args.positionals.front();
        args.positionals.erase(args.positionals.begin());
        return true;
    }
    if (args.positionals.size() != needed) {
        std::fprintf(stderr, "cablebench: wrong number of arguments for %s (see --help)\n",
                     command);
        return false;
    }
    dir = bench_dir_from_environment();
    if (dir.empty()) {
        std::fprintf(stderr, "cablebench: %s needs a bench directory or LINKHUB_BENCH\n", command);
        return false;
    }
    return true;
}

bool take_existing_bench(ToolArgs& args, std::size_t needed, const char* command,
                         std::string& dir) {
    if (!take_bench_dir(args, needed, command, dir)) {
        return false;
    }
    if (!bench_exists(dir)) {
        std::fprintf(stderr, "cablebench: no bench at %s (create one with cablebench init)\n",
                     dir.c_str());
        return false;
    }
    return true;
}

bool number_option(const ToolArgs& args, const char* name, std::uint32_t limit,
                   std::uint32_t& value) {
    auto it = args.options.find(name);
    if (it == args.options.end()) {
        return true;
    }
    std::uint32_t number = 0;
    if (!parse_number(it->second, number) || number > limit) {
        std::fprintf(stderr, "cablebench: %s needs a number from 0 to %u, not \"%s\"\n", name,
                     static_cast<unsigned>(limit), escape_text(it->second).c_str());
        return false;
    }
    value = number;
    return true;
}
