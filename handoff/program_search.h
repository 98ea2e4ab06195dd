// Finding the program's helpers where a user's files cannot stand in for them (Windows).
#pragma once

#include <string>

// The full path of file_name in the first folder that has it, in this order: the running
// program's own folder, the system folders, then the folders of PATH, skipping relative ones
// and the working folder. Empty when none has it.
std::string find_trusted_file(const std::string& file_name);
