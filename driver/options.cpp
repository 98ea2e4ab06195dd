#include "driver/options.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "common/message.h"
#include "driver/option_table.h"
#include "driver/serial_range.h"
#include "image/ascii.h"
#include "image/regular_file.h"

namespace {

bool has_pof_suffix(const std::string& name) {
    return name.size() >= 4 && name.compare(name.size() - 4, 4, ".pof") == 0;
}

// Every misuse answer ends with these two lines.
void print_usage() {
    put_message(
        "Usage: cablewright [--cable <cable>] [--force] [--dry-run] <filename.pof>\n"
        "Try 'cablewright --help' for more information.\n");
}

bool is_value_option(const OptionRow* row) {
    return row != nullptr && row->value != nullptr;
}

// The value option of "--long=value" (its value, possibly empty, in `value`), or null when arg
// is not of that form.
const OptionRow* attached_value(const char* arg, const char*& value) {
    const char* equals = std::strchr(arg, '=');
    if (equals == nullptr) {
        return nullptr;
    }
    const std::string word(arg, equals);
    for (const OptionRow& row : option_rows()) {
        if (row.value != nullptr && equal_ignoring_ascii_case(word.c_str(), row.name)) {
            value = equals + 1;
            return &row;
        }
    }
    return nullptr;
}

// A dash word the walk cannot place. A lone "-" and names ending in ".pof" stay file names.
bool is_unknown_option(const char* arg) {
    std::size_t length = std::strlen(arg);
    return arg[0] == '-' && length > 1 && !has_pof_suffix(arg);
}

// --help and --version are looked for on the whole line first, so that a user who asks for help
// gets it whatever else is wrong with the line; a value option's value is not a word of its own.
void find_help_words(int argc, const char* const* argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const OptionRow* row = find_option(argv[i]);
        if (is_value_option(row)) {
            ++i;
        } else if (row != nullptr &&
                   (row->flag == &Options::help || row->flag == &Options::version)) {
            options.*row->flag = true;
        }
    }
}

// Whether a word of a conflict rule (an option's long form, or kFileWord) is on the parsed line.
bool word_present(const Options& options, const char* word) {
    if (std::strcmp(word, kFileWord) == 0) {
        // A station's JSON document describes the file and every cable it was programmed on.
        return options.file.has_value() && !options.all;
    }
    const OptionRow* row = find_option(word);
    return row != nullptr &&
           (row->flag != nullptr ? options.*row->flag : (options.*row->value).has_value());
}

// The options with conflict rules in their order; the first refused word present is reported.
bool words_conflict(const Options& options) {
    for (int order = 1; order <= static_cast<int>(option_rows().count); ++order) {
        for (const OptionRow& row : option_rows()) {
            if (row.conflict_order != order || !word_present(options, row.name)) {
                continue;
            }
            for (const char* with : row.cannot_go_with) {
                if (with != nullptr && word_present(options, with)) {
                    print_message("Option %s cannot be used with %s\n", row.name, with);
                    return true;
                }
            }
        }
    }
    return false;
}

// An empty history name, or one that is (or looks like) a POF file: records appended to the
// user's file would spoil it.
bool log_misnamed(const Options& options) {
    if (!options.log) {
        return false;
    }
    const std::string& log = *options.log;
    if (log.empty()) {
        put_message("Option --log needs a value\n");
        return true;
    }
    const bool pof_name =
        log.size() >= 4 && equal_ignoring_ascii_case(log.c_str() + log.size() - 4, ".pof");
    if (pof_name || (options.file && name_one_file(log.c_str(), options.file->c_str()))) {
        put_message("Option --log cannot name a POF file\n");
        return true;
    }
    return false;
}

// Where each option first stands on the line, by row; INT_MAX for one that is absent.
using Positions = std::vector<int>;

int position_of(const Positions& positions, const char* word) {
    const OptionRow* row = find_option(word);
    return row != nullptr ? positions[static_cast<std::size_t>(row - option_rows().first)]
                          : INT_MAX;
}

// --jobs only limits a station, to a number it can keep.
bool jobs_misused(const Options& options) {
    if (!options.jobs) {
        return false;
    }
    if (!options.all) {
        put_message("Option --jobs cannot be used without --all\n");
        return true;
    }
    if (job_limit(*options.jobs) == 0) {
        put_message("Option --jobs needs a whole number from 1 to 1024\n");
        return true;
    }
    return false;
}

// A range must split into its two ends, hold a serial, and be kept in the history it is taken
// through.
bool serials_misused(const Options& options) {
    if (!options.serials) {
        return false;
    }
    SerialRange range;
    if (!split_serial_range(*options.serials, range)) {
        put_message("Option --serials needs FIRST..LAST\n");
        return true;
    }
    if (serial_range_reversed(range)) {
        print_message("Serial range %s is empty\n", options.serials->c_str());
        return true;
    }
    if (!options.log) {
        put_message("Option --serials needs --log\n");
        return true;
    }
    return false;
}

// A station's misuses are reported in the order their words stand on the line.
bool station_misused(const Options& options, const Positions& positions) {
    const char* with = nullptr;
    const OptionRow* all = find_option("--all");
    for (const char* word : all->cannot_go_with) {
        if (options.all && word != nullptr && word_present(options, word) &&
            (with == nullptr || position_of(positions, word) < position_of(positions, with))) {
            with = word;
        }
    }
    const int with_at = with != nullptr ? position_of(positions, with) : INT_MAX;
    if (options.jobs && position_of(positions, "--jobs") < with_at && jobs_misused(options)) {
        return true;
    }
    if (with != nullptr) {
        print_message("Option %s cannot be used with %s\n", all->name, with);
        return true;
    }
    return jobs_misused(options);
}

}  // namespace

int job_limit(const std::string& text) {
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + (c - '0');
        if (value > kMaxJobs) {
            return 0;
        }
    }
    return value;
}

bool parse_command_line(int argc, const char* const* argv, Options& options) {
    options = Options{};
    find_help_words(argc, argv, options);
    if (options.help || options.version) {
        return true;
    }
    // The whole line is walked; what is wrong with it is then reported in one fixed order.
    const char* missing_value = nullptr;  // a value option that ends the line
    bool second_file = false;
    const OptionRow* needs_file = nullptr;  // the first option that only an update takes
    Positions positions(option_rows().count, INT_MAX);
    for (int i = 1; i < argc; ++i) {
        const int word_at = i;
        const char* arg = argv[i];
        const OptionRow* row = find_option(arg);
        const char* value = nullptr;
        // A value option takes whatever follows it, even a dash word.
        if (is_value_option(row)) {
            if (i + 1 >= argc) {
                missing_value = arg;
                break;
            }
            options.*row->value = argv[++i];
        } else if (row != nullptr) {
            options.*row->flag = true;
        } else if ((row = attached_value(arg, value)) != nullptr) {
            options.*row->value = value;
        } else if (is_unknown_option(arg)) {
            print_message("Unknown option %s\n", arg);
            print_usage();
            return false;
        } else if (!options.file) {
            options.file = arg;
        } else {
            second_file = true;
        }
        if (row != nullptr) {
            int& at = positions[static_cast<std::size_t>(row - option_rows().first)];
            at = std::min(at, word_at);
        }
        if (row != nullptr && row->needs_file && needs_file == nullptr) {
            needs_file = row;
        }
    }
    bool misuse = false;
    if (options.file && !has_pof_suffix(*options.file)) {
        put_message("Only .pof files are supported\n");
        misuse = true;
    }
    if (missing_value != nullptr) {
        print_message("Option %s needs a value\n", missing_value);
        misuse = true;
    }
    if (second_file) {
        put_message("Only one file can be programmed at a time\n");
        misuse = true;
    }
    misuse = misuse || station_misused(options, positions) || words_conflict(options) ||
             log_misnamed(options) || serials_misused(options);
    // The modes refuse these options in their own words above; a report takes --serial as a
    // filter.
    if (!misuse && needs_file != nullptr && !options.file && !options.history) {
        print_message("Option %s needs a file to program\n", needs_file->name);
        misuse = true;
    }
    if (misuse) {
        print_usage();
    }
    return !misuse;
}
