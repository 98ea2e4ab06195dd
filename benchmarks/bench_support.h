// What the benchmarks share: sample ROM images, POF files of a chosen size and the
// output silenced while printing code is measured. POSIX only, like the benchmarks themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/pof_file.h"
#include "image/rom_image.h"

constexpr std::size_t kKiB = 1024;
constexpr std::size_t kMiB = 1024 * kKiB;

// A signed cable's image: hardware id 2, ZAN version `version`, serial "A-0042", a product name.
RomImage sample_image(std::uint16_t version);

// The bytes of a valid POF file of exactly `size` bytes carrying `image`; a filler packet before
// the ROM packet makes up the size. `size` must leave room for the filler's packet header.
std::vector<std::uint8_t> pof_of_size(std::size_t size, const RomImage& image);

// Path of a valid POF file of `size` bytes in the working directory, written on first use.
// Empty when it could not be written.
const std::string& pof_file_of_size(std::size_t size);

// A copy of a loaded POF file, with its own byte buffer.
PofImage clone_pof(const PofImage& pof);

// Descriptors of standard output and error saved while both point at the null device.
struct SavedOutput {
    int out = -1;
    int err = -1;
};

// Flushes and sends standard output and error to the null device until restore_output.
SavedOutput silence_output();

// Flushes what was printed meanwhile into the null device and puts both streams back.
void restore_output(SavedOutput saved);
