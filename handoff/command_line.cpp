#include "handoff/command_line.h"

#include <cstddef>

std::string quote_argument(const std::string& text) {
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only in front of a quote: there they are doubled, plus one more
        // to make the quote literal.
        if (c == '"') {
            quoted.append(2 * backslashes + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    // Trailing backslashes are doubled so that they do not escape the closing quote.
    quoted.append(2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}

std::string windows_command_line(const std::vector<std::string>& argv) {
    if (argv.empty()) {
        return "";
    }
    // The program name is read up to the first blank outside quotes, with no backslash escapes,
    // so that C:\dir\ keeps its backslash; a file name cannot hold a quote.
    const std::string& program = argv[0];
    std::string line = program.empty() || program.find_first_of(" \t") != std::string::npos
                           ? "\"" + program + "\""
                           : program;
    for (std::size_t i = 1; i < argv.size(); ++i) {
        line += " " + quote_argument(argv[i]);
    }
    return line;
}
