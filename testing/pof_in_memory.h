// Parsing POF bytes that a test, fuzz target or benchmark holds, without a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/pof_file.h"

// parse_pof of a copy of the n bytes at data, checksummed here as load_pof checksums what it
// reads. Prints parse_pof's message and returns false when they are not an acceptable file.
bool parse_pof_copy(const std::uint8_t* data, std::size_t n, StoredCrc stored_crc, PofImage& pof);

// parse_pof_copy of all of bytes.
bool parse_pof_copy(const std::vector<std::uint8_t>& bytes, StoredCrc stored_crc, PofImage& pof);
