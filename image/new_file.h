// Creating a file that must not exist yet, as one platform service.
#pragma once

#include <cstddef>
#include <cstdint>

enum class NewFileResult { kWritten, kExists, kFailed };

// Creates name exclusively (never through an existing file or link) and writes n bytes to it.
// kExists when the name is taken; kFailed after removing whatever was partly written.
NewFileResult write_new_file(const char* name, const std::uint8_t* data, std::size_t n);
