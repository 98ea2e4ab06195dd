// Writing arguments as one command line that a Windows program splits back into exactly them.
#pragma once

#include <string>
#include <vector>

// text in double quotes, escaped so that a program splitting its command line by Windows rules
// receives exactly text as one argument; text with no '"' and no trailing '\' is just wrapped.
std::string quote_argument(const std::string& text);

// argv as one command line for CreateProcess: the program name as it is (in quotes when it is
// empty or holds a space or tab), then each argument by quote_argument. Empty for no argv.
std::string windows_command_line(const std::vector<std::string>& argv);
