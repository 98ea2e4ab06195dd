#include "driver/options.h"

#include <cstdio>
#include <cstring>

#include "common/message.h"
#include "image/ascii.h"

namespace {

bool is_word(const char* arg, const char* long_form, const char* short_form) {
    return equal_ignoring_ascii_case(arg, long_form) || equal_ignoring_ascii_case(arg, short_form);
}

bool has_pof_suffix(const std::string& name) {
    return name.size() >= 4 && name.compare(name.size() - 4, 4, ".pof") == 0;
}

// Every misuse answer ends with these two lines.
void print_usage() {
    put_message(
        "Usage: cablewright [--cable <cable>] [--force] [--dry-run] <filename.pof>\n"
        "Try 'cablewright --help' for more information.\n");
}

bool is_value_option(const char* arg) {
    return is_word(arg, "--cable", "-c") || is_word(arg, "--serial", "-S") ||
           equal_ignoring_ascii_case(arg, "--log");
}

// The value of "--long=value" (possibly empty), or null when arg is not of that form.
const char* attached_value(const char* arg, const char* long_form) {
    std::size_t length = std::strlen(long_form);
    if (std::strlen(arg) <= length || arg[length] != '=') {
        return nullptr;
    }
    std::string word(arg, length);
    return equal_ignoring_ascii_case(word.c_str(), long_form) ? arg + length + 1 : nullptr;
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
        if (is_value_option(argv[i])) {
            ++i;
        } else if (is_word(argv[i], "--help", "-h")) {
            options.help = true;
        } else if (is_word(argv[i], "--version", "-V")) {
            options.version = true;
        }
    }
}

// The first word of an update that came with a mode that programs nothing, or null.
const char* update_word(const Options& options) {
    if (options.file) {
        return "a file";
    }
    if (options.serial) {
        return "--serial";
    }
    if (options.force) {
        return "--force";
    }
    return options.dry_run ? "--dry-run" : nullptr;
}

// A listing names no file and changes nothing; the JSON document describes cables, not a file;
// leaving select mode programs nothing.
bool words_conflict(const Options& options) {
    const char* mode = nullptr;
    const char* with = nullptr;
    if (options.list) {
        mode = "--list";
        with = options.leave_select_mode ? "--leave-select-mode" : update_word(options);
        if (with == nullptr && options.log) {
            with = "--log";
        }
    } else if (options.leave_select_mode) {
        mode = "--leave-select-mode";
        with = update_word(options);
        if (with == nullptr && options.json) {
            with = "--json";
        }
    } else if (options.json && options.file) {
        mode = "--json";
        with = "a file";
    }
    if (with != nullptr) {
        print_message("Option %s cannot be used with %s\n", mode, with);
    }
    return with != nullptr;
}

}  // namespace

bool parse_command_line(int argc, const char* const* argv, Options& options) {
    options = Options{};
    find_help_words(argc, argv, options);
    if (options.help || options.version) {
        return true;
    }
    bool misuse = false;
    int i = 1;
    while (i < argc && !misuse) {
        const char* arg = argv[i];
        const char* value = nullptr;
        // A value option takes whatever follows it, even a dash word.
        if (is_value_option(arg)) {
            if (i + 1 >= argc) {
                print_message("Option %s needs a value\n", arg);
                print_usage();
                return false;
            }
            if (is_word(arg, "--cable", "-c")) {
                options.cable = argv[i + 1];
            } else if (equal_ignoring_ascii_case(arg, "--log")) {
                options.log = argv[i + 1];
            } else {
                options.serial = argv[i + 1];
            }
            i += 2;
            continue;
        }
        if ((value = attached_value(arg, "--cable")) != nullptr) {
            options.cable = value;
        } else if ((value = attached_value(arg, "--serial")) != nullptr) {
            options.serial = value;
        } else if ((value = attached_value(arg, "--log")) != nullptr) {
            options.log = value;
        } else if (is_word(arg, "--debug", "-d")) {
            options.debug = true;
        } else if (is_word(arg, "--force", "-f")) {
            options.force = true;
        } else if (is_word(arg, "--dry-run", "-n")) {
            options.dry_run = true;
        } else if (is_word(arg, "--list", "-l")) {
            options.list = true;
        } else if (equal_ignoring_ascii_case(arg, "--json")) {
            options.json = true;
        } else if (equal_ignoring_ascii_case(arg, "--leave-select-mode")) {
            options.leave_select_mode = true;
        } else if (is_unknown_option(arg)) {
            print_message("Unknown option %s\n", arg);
            print_usage();
            return false;
        } else if (!options.file) {
            options.file = arg;
        } else {
            misuse = true;
        }
        ++i;
    }
    if (options.file && !has_pof_suffix(*options.file)) {
        put_message("Only .pof files are supported\n");
        print_usage();
        return false;
    }
    if (misuse || words_conflict(options)) {
        print_usage();
        return false;
    }
    return true;
}
