// Writing arguments as one command line that a Windows program splits back into exactly them.
#pragma once

#include <string>

// text in double quotes, escaped so that a program splitting its command line by Windows rules
// receives exactly text as one argument; text with no '"' and no trailing '\' is just wrapped.
std::string quote_argument(const std::string& text);
