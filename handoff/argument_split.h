// Splitting a command line into arguments the way a Windows program receives them.
#pragma once

#include <string>
#include <vector>

// The arguments of command_line under the Windows C runtime's rules: the first (the program)
// ends at unquoted space or tab, quotes toggle and backslashes are literal; the others are
// separated by spaces and tabs, "..." groups, 2n backslashes before a quote give n and the quote
// toggles quoting, 2n+1 give n and a literal quote, other backslashes are literal, and "" inside
// quotes is a literal quote. An unclosed quote runs to the end. Empty or blank text gives none.
std::vector<std::string> split_command_line(const std::string& command_line);
