// Splits the input at zero bytes into argument words and parses them; the result must match a
// plain model of the argument walk.
#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "driver/options.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/quiet_output.h"

namespace {

std::string lower(std::string word) {
    for (char& c : word) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return word;
}

bool is_word(const std::string& arg, const char* long_form, const char* short_form) {
    std::string folded = lower(arg);
    return folded == lower(long_form) || folded == lower(short_form);
}

bool pof_name(const std::string& name) {
    return name.size() >= 4 && name.substr(name.size() - 4) == ".pof";
}

// A history name that would spoil a POF file: empty, ending in ".pof" in any letter case, or
// naming the file to program itself.
bool bad_log(const Options& options) {
    if (!options.log) {
        return false;
    }
    const std::string& log = *options.log;
    const bool pof_suffix = log.size() >= 4 && lower(log.substr(log.size() - 4)) == ".pof";
    std::error_code error;
    return log.empty() || pof_suffix ||
           (options.file && std::filesystem::equivalent(log, *options.file, error));
}

bool is_value_option(const std::string& arg) {
    return is_word(arg, "--cable", "-c") || is_word(arg, "--serial", "-S") ||
           lower(arg) == "--log" || lower(arg) == "--jobs" || lower(arg) == "--batch" ||
           lower(arg) == "--serials" || lower(arg) == "--history";
}

// FIRST..LAST with exactly one "..", and not counting down where both ends could share a format.
bool serials_usable(const std::string& text) {
    const std::size_t dots = text.find("..");
    if (dots == std::string::npos || text.find("..", dots + 1) != std::string::npos) {
        return false;
    }
    const std::string first = text.substr(0, dots);
    const std::string last = text.substr(dots + 2);
    if (first.size() != last.size()) {
        return true;
    }
    for (std::size_t i = 0; i < first.size(); ++i) {
        if (first[i] != last[i] && !(std::isdigit(static_cast<unsigned char>(first[i])) &&
                                     std::isdigit(static_cast<unsigned char>(last[i])))) {
            return true;
        }
    }
    return first <= last;
}

// Decimal digits only, leading zeros allowed, worth 1 to 1024.
bool jobs_number(const std::string& text) {
    const std::size_t digits = text.find_first_not_of('0');
    const std::string significant = digits == std::string::npos ? "" : text.substr(digits);
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos &&
           !significant.empty() && significant.size() <= 4 && std::stoi(significant) <= 1024;
}

// The value of "--long=value" in any letter case, or none.
std::optional<std::string> attached(const std::string& arg, const std::string& long_form) {
    if (arg.size() > long_form.size() && arg[long_form.size()] == '=' &&
        lower(arg.substr(0, long_form.size())) == long_form) {
        return arg.substr(long_form.size() + 1);
    }
    return std::nullopt;
}

// The argument walk as users are told it works: every word is read, and an unknown option
// anywhere is misuse. Returns false on misuse.
bool model_parse(const std::vector<std::string>& args, Options& options) {
    options = Options{};
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (is_value_option(args[i])) {
            ++i;
        } else if (is_word(args[i], "--help", "-h")) {
            options.help = true;
        } else if (is_word(args[i], "--version", "-V")) {
            options.version = true;
        }
    }
    if (options.help || options.version) {
        return true;
    }
    bool misuse = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool has_value = i + 1 < args.size();
        if (is_value_option(arg) && !has_value) {
            return false;
        }
        if (is_word(arg, "--cable", "-c")) {
            options.cable = args[++i];
        } else if (is_word(arg, "--serial", "-S")) {
            options.serial = args[++i];
        } else if (lower(arg) == "--log") {
            options.log = args[++i];
        } else if (lower(arg) == "--jobs") {
            options.jobs = args[++i];
        } else if (lower(arg) == "--batch") {
            options.batch = args[++i];
        } else if (lower(arg) == "--serials") {
            options.serials = args[++i];
        } else if (lower(arg) == "--history") {
            options.history = args[++i];
        } else if (attached(arg, "--serials")) {
            options.serials = attached(arg, "--serials");
        } else if (attached(arg, "--history")) {
            options.history = attached(arg, "--history");
        } else if (attached(arg, "--jobs")) {
            options.jobs = attached(arg, "--jobs");
        } else if (attached(arg, "--batch")) {
            options.batch = attached(arg, "--batch");
        } else if (attached(arg, "--cable")) {
            options.cable = attached(arg, "--cable");
        } else if (attached(arg, "--serial")) {
            options.serial = attached(arg, "--serial");
        } else if (attached(arg, "--log")) {
            options.log = attached(arg, "--log");
        } else if (is_word(arg, "--debug", "-d")) {
            options.debug = true;
        } else if (is_word(arg, "--force", "-f")) {
            options.force = true;
        } else if (is_word(arg, "--dry-run", "-n")) {
            options.dry_run = true;
        } else if (is_word(arg, "--list", "-l")) {
            options.list = true;
        } else if (lower(arg) == "--json") {
            options.json = true;
        } else if (is_word(arg, "--all", "-a")) {
            options.all = true;
        } else if (lower(arg) == "--leave-select-mode") {
            options.leave_select_mode = true;
        } else if (arg.size() > 1 && arg[0] == '-' && !pof_name(arg)) {
            return false;
        } else if (!options.file) {
            options.file = arg;
        } else {
            misuse = true;
        }
    }
    // Listing and leaving select mode program nothing; the JSON document describes no file.
    const bool updating = options.file || options.serial || options.force || options.dry_run;
    const bool listing_alone =
        !options.list || (!updating && !options.log && !options.leave_select_mode);
    const bool leaving_alone = !options.leave_select_mode || (!updating && !options.json);
    // A station programs one file on every cable it finds, in at most --jobs runs at once.
    const bool station_alone =
        !options.all || !(options.cable || options.serial || options.list ||
                          options.leave_select_mode || options.batch || options.history);
    // A range is taken through the history, for a file, instead of one typed serial.
    const bool serials_fit = !options.serials || (serials_usable(*options.serials) && options.log &&
                                                  options.file && !options.serial);
    // A report reads a history and filters its runs by cable or serial; it touches no cable.
    const bool report_alone =
        !options.history || !(options.file || options.force || options.dry_run || options.debug ||
                              options.jobs || options.list || options.log || options.batch ||
                              options.leave_select_mode || options.serials || options.all);
    const bool jobs_fit = !options.jobs || (options.all && jobs_number(*options.jobs));
    // Without a file, what only shapes an update would be ignored.
    const bool update_words_alone =
        options.file || options.history ||
        !(options.serial || options.force || options.dry_run || options.all || options.serials);
    return !misuse && (!options.file || pof_name(*options.file)) && listing_alone &&
           leaving_alone && !(options.json && options.file && !options.all) && !bad_log(options) &&
           station_alone && jobs_fit && update_words_alone && serials_fit && report_alone;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quiet_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Every zero byte ends a word; bytes after the last zero form a final word.
    std::vector<std::string> args;
    std::string word;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(word);
            word.clear();
        } else {
            word.push_back(static_cast<char>(data[i]));
        }
    }
    if (!word.empty()) {
        args.push_back(word);
    }
    std::vector<const char*> argv{"cablewright"};
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    argv.push_back(nullptr);

    Options options;
    bool ok = parse_command_line(static_cast<int>(argv.size() - 1), argv.data(), options);
    if (ok && options.file) {
        require(options.file->size() >= 4 && pof_name(*options.file));
    }

    Options expected;
    require(ok == model_parse(args, expected));
    if (ok) {
        require(options.cable == expected.cable && options.file == expected.file &&
                options.serial == expected.serial && options.debug == expected.debug &&
                options.force == expected.force && options.dry_run == expected.dry_run &&
                options.help == expected.help && options.version == expected.version &&
                options.list == expected.list && options.json == expected.json &&
                options.log == expected.log &&
                options.leave_select_mode == expected.leave_select_mode &&
                options.all == expected.all && options.jobs == expected.jobs &&
                options.batch == expected.batch && options.serials == expected.serials &&
                options.history == expected.history);
    }
    return 0;
}
