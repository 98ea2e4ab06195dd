// Opening a file for reading only when it is a regular file, as one platform service.
#pragma once

#include <cstdint>
#include <cstdio>

// Opens path for binary reading when it names a regular file, giving its size. Null when it
// cannot be opened or is a directory, a device or a pipe (never blocking on one). The kind and
// size are those of the file actually opened, and the path is taken in the system's own encoding.
std::FILE* open_regular_file(const char* path, std::uint64_t& size);

// True when both paths exist and name one file (by identity, whatever the paths look like).
bool name_one_file(const char* path, const char* other);
