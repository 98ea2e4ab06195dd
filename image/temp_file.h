// The run's temporary file, as one platform service.
#pragma once

#include <cstddef>
#include <cstdint>

// A file this run created and keeps open until it removes it, so that it can tell whether the
// name still refers to it.
struct TempFile {
    std::intptr_t handle = -1;  // POSIX descriptor or Windows HANDLE; -1 when none
    std::uint64_t volume = 0;   // identity of the file created, to recognise it by name later
    std::uint64_t index = 0;
};

// Creates name, which must not exist yet, with the n bytes of data. False when it could not be
// written; nothing is left under name then.
bool create_temp_file(const char* name, const std::uint8_t* data, std::size_t n, TempFile& file);

// True when name still refers to the file this run created.
bool temp_file_in_place(const TempFile& file, const char* name);

enum class TempFileRemoval {
    kRemoved,   // it was ours and is gone
    kGone,      // nothing was there any more
    kReplaced,  // another file has the name; it is left alone
    kFailed,    // ours, but it could not be deleted
};

// Removes name when it still refers to the file this run created, and releases the file.
TempFileRemoval remove_temp_file(TempFile& file, const char* name);
