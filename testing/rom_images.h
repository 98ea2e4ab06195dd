// ROM images and their text form, made independently of the product's own conversions.
#pragma once

#include <cstdint>
#include <string>

#include "image/rom_image.h"

// The text form a cable reports: two upper-case hexadecimal digits per byte, byte 0 first.
std::string hex_of(const RomImage& image);

// The image whose byte i is (first + i * step) modulo 256.
RomImage stepped_image(std::uint8_t first, std::uint8_t step);

// Every byte 0x5A: an image that a refused or failed read must leave as it was.
RomImage marked_image();
