#include "handoff/argument_split.h"

#include <cstddef>

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// The program name is read without backslash escapes, as CreateProcess and the runtime
// read it, so that a path like C:\dir\ keeps its trailing backslash.
std::size_t read_program_name(const std::string& text, std::size_t i, std::string& out) {
    bool in_quotes = false;
    while (i < text.size() && (in_quotes || !is_blank(text[i]))) {
        if (text[i] == '"') {
            in_quotes = !in_quotes;
        } else {
            out += text[i];
        }
        ++i;
    }
    return i;
}

std::size_t read_argument(const std::string& text, std::size_t i, std::string& out) {
    bool in_quotes = false;
    while (i < text.size()) {
        std::size_t backslashes = 0;
        while (i < text.size() && text[i] == '\\') {
            ++backslashes;
            ++i;
        }
        if (i < text.size() && text[i] == '"') {
            out.append(backslashes / 2, '\\');
            if (backslashes % 2 == 1) {
                out += '"';
            } else if (in_quotes && i + 1 < text.size() && text[i + 1] == '"') {
                // The runtime since 2008 reads "" inside quotes as a quote and stays quoted.
                out += '"';
                ++i;
            } else {
                in_quotes = !in_quotes;
            }
            ++i;
            continue;
        }
        out.append(backslashes, '\\');
        if (i == text.size() || (!in_quotes && is_blank(text[i]))) {
            break;
        }
        out += text[i];
        ++i;
    }
    return i;
}

}  // namespace

std::vector<std::string> split_command_line(const std::string& command_line) {
    std::vector<std::string> arguments;
    std::size_t i = 0;
    while (i < command_line.size() && is_blank(command_line[i])) {
        ++i;
    }
    if (i == command_line.size()) {
        return arguments;
    }
    arguments.emplace_back();
    i = read_program_name(command_line, i, arguments.back());
    for (;;) {
        while (i < command_line.size() && is_blank(command_line[i])) {
            ++i;
        }
        if (i == command_line.size()) {
            return arguments;
        }
        arguments.emplace_back();
        i = read_argument(command_line, i, arguments.back());
    }
}
