// Builds POF files in memory: a valid file by default, and one rule broken at a time on request.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/rom_image.h"

struct PofRecipe {
    RomImage image;                          // the ROM image the file carries
    std::vector<std::uint8_t> leading_data;  // payload of a filler packet before the ROM packet
    std::vector<RomImage> earlier_roms;      // ROM packets of their own before the ROM packet
    bool nonzero_earlier_byte = false;       // puts 0x01 into a pair byte of each earlier one
    bool include_rom = true;
    std::uint32_t rom_length = 1036;  // the ROM packet's declared length
    std::vector<std::uint8_t> rom_sub_header = {0, 0, 0, 0, 0, 0, 0, 0x20, 0, 0, 1, 0};
    bool nonzero_pair_byte = false;  // puts 0x01 into the first pair byte
    bool nonzero_tail_byte = false;  // puts 0x01 into the second half of the ROM data
    bool include_crc = true;
    bool corrupt_crc = false;            // stores the checksum plus one
    std::vector<std::uint8_t> trailing;  // bytes after the CRC packet
    std::vector<std::uint8_t> header = {'P', 'O', 'F', 0, 0, 0, 1, 0, 0, 0, 0, 0};
};

// The file bytes for a recipe; the default recipe of an image is a valid 1062-byte file.
std::vector<std::uint8_t> build_pof(const PofRecipe& recipe);

// Writes bytes to path; false when it could not.
bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Helpers for making ROM images with fields set.
void set_u16(RomImage& image, std::size_t offset, std::uint16_t value);
void set_text(RomImage& image, std::size_t offset, const std::string& text);
