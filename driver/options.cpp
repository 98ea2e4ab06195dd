#include "driver/options.h"

#include <cstdio>
#include <cstring>

#include "image/ascii.h"

namespace {

bool is_word(const char* arg, const char* long_form, const char* short_form) {
    return equal_ignoring_ascii_case(arg, long_form) || equal_ignoring_ascii_case(arg, short_form);
}

bool has_pof_suffix(const std::string& name) {
    return name.size() >= 4 && name.compare(name.size() - 4, 4, ".pof") == 0;
}

void print_usage() {
    std::fputs("Usage: cablewright [--cable <cable>] [--force] [--dry-run] <filename.pof>\n",
               stderr);
}

}  // namespace

bool parse_command_line(int argc, const char* const* argv, Options& options) {
    options = Options{};
    bool misuse = false;
    int i = 1;
    while (i < argc && !misuse) {
        const char* arg = argv[i];
        // A value option takes whatever follows it, even a dash word; standing last, it has
        // nothing to take and falls through to be a positional.
        if (i + 1 < argc && is_word(arg, "--cable", "-c")) {
            options.cable = argv[i + 1];
            i += 2;
        } else if (i + 1 < argc && is_word(arg, "--serial", "-S")) {
            options.serial = argv[i + 1];
            i += 2;
        } else {
            if (is_word(arg, "--debug", "-d")) {
                options.debug = true;
            } else if (is_word(arg, "--force", "-f")) {
                options.force = true;
            } else if (is_word(arg, "--dry-run", "-n")) {
                options.dry_run = true;
            } else if (!options.file) {
                options.file = arg;
            } else {
                misuse = true;
            }
            ++i;
        }
    }
    if (options.file && !has_pof_suffix(*options.file)) {
        std::fputs("Only .pof files are supported\n", stderr);
        print_usage();
        return false;
    }
    if (misuse) {
        print_usage();
        return false;
    }
    return true;
}
