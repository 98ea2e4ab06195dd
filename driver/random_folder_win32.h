// A new folder of a random name on Windows, for the run's and the station's private folders.
#pragma once

#include <string>

// Makes a new folder named prefix (a path to it and the start of its name) plus twelve random
// letters and digits from the system's generator, never one that exists; it takes the access
// rights of the folder it is in. Returns its path, or "" when none could be made.
std::string make_random_folder(const std::string& prefix);
