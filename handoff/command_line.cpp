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
