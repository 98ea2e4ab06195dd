// Writing a whole buffer to a descriptor, and reading one to its end (POSIX only).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Writes all n bytes of data to fd, going on after interrupted or short writes. False when a
// write fails or writes nothing.
bool write_all(int fd, const std::uint8_t* data, std::size_t n);

// Reads fd from offset `from` to its end, each piece (at most `size` bytes into buffer) passed to
// piece(), going on after interrupted reads. False when a read fails.
bool read_to_end(int fd, std::uint64_t from, char* buffer, std::size_t size,
                 const std::function<void(const char*, std::size_t)>& piece);
