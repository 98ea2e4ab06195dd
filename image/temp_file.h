// The run's temporary file, owned by one run at a time, as one platform service.
#pragma once

#include <cstddef>
#include <cstdint>

// A file this run created and keeps open (and, on POSIX, locked) until it removes it, so that
// another run can tell it is in use and nothing else can take its place unnoticed.
struct TempFile {
    std::intptr_t handle = -1;  // POSIX descriptor or Windows HANDLE; -1 when none
    std::uint64_t volume = 0;   // identity of the file created, to recognise it by name later
    std::uint64_t index = 0;
};

enum class TempFileResult {
    kWritten,   // created whole under name and owned by `file`
    kInUse,     // name exists and another run holds it
    kLeftOver,  // name exists and nobody holds it: left by a run that was stopped
    kFailed,    // could not be written; nothing is left under name
};

// Creates name with the n bytes of data; the name only ever appears complete.
TempFileResult create_temp_file(const char* name, const std::uint8_t* data, std::size_t n,
                                TempFile& file);

// True when name still refers to the file this run created.
bool temp_file_in_place(const TempFile& file, const char* name);

enum class TempFileRemoval { kRemoved, kReplaced, kFailed };

// Removes name when it still refers to the file this run created, and releases the file.
// kReplaced leaves the other file alone.
TempFileRemoval remove_temp_file(TempFile& file, const char* name);

// True when both paths exist and name one file (by identity, whatever the paths look like).
bool same_file(const char* path, const char* other);
