// Writing a whole buffer to a descriptor (POSIX only).
#pragma once

#include <cstddef>
#include <cstdint>

// Writes all n bytes of data to fd, going on after interrupted or short writes. False when a
// write fails or writes nothing.
bool write_all(int fd, const std::uint8_t* data, std::size_t n);
