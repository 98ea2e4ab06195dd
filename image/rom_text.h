// The text form in which a cable reports its ROM: two hexadecimal digits per byte, byte 0 first,
// or "empty" for a ROM never written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/rom_image.h"

// Characters of the ROM's text form.
constexpr std::uint32_t kRomTextLength = 2 * kRomSize;

// The value of one hexadecimal digit (either case), or -1.
int hex_digit(char c);

// True when the first `length` characters of `text` are exactly kRomTextLength hexadecimal
// digits (either case); fills `image` with them. `text` need not be terminated. On false `image`
// is untouched.
bool rom_from_hex(const char* text, std::size_t length, RomImage& image);

// rom_from_hex, or true with a blank image (all zero bytes) when the characters are "empty".
bool rom_from_text(const char* text, std::size_t length, RomImage& image);
