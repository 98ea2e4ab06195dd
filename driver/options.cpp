#include "driver/options.h"

#include <cstdio>
#include <cstring>

#include "common/message.h"

namespace {

bool same_word(const char* arg, const char* word) {
    for (; *arg != '\0' && *word != '\0'; ++arg, ++word) {
        auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
        if (lower(static_cast<unsigned char>(*arg)) != lower(static_cast<unsigned char>(*word))) {
            return false;
        }
    }
    return *arg == '\0' && *word == '\0';
}

bool is_word(const char* arg, const char* long_form, const char* short_form) {
    return same_word(arg, long_form) || same_word(arg, short_form);
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
           same_word(arg, "--log");
}

// The value of "--long=value" (possibly empty), or null when arg is not of that form.
const char* attached_value(const char* arg, const char* long_form) {
    std::size_t length = std::strlen(long_form);
    if (std::strlen(arg) <= length || arg[length] != '=') {
        return nullptr;
    }
    std::string word(arg, length);
    return same_word(word.c_str(), long_form) ? arg + length + 1 : nullptr;
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

// A listing names no file and changes nothing; the JSON document describes cables, not a file.
bool words_conflict(const Options& options) {
    const char* with = nullptr;
    if (options.list) {
        if (options.file) {
            with = "a file";
        } else if (options.serial) {
            with = "--serial";
        } else if (options.force) {
            with = "--force";
        } else if (options.dry_run) {
            with = "--dry-run";
        } else if (options.log) {
            with = "--log";
        }
        if (with != nullptr) {
            print_message("Option --list cannot be used with %s\n", with);
        }
    } else if (options.json && options.file) {
        with = "a file";
        put_message("Option --json cannot be used with a file\n");
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
            } else if (same_word(arg, "--log")) {
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
        } else if (same_word(arg, "--json")) {
            options.json = true;
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
