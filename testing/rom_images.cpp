#include "testing/rom_images.h"

#include <cstdio>

std::string hex_of(const RomImage& image) {
    std::string text;
    char pair[3];
    for (std::uint8_t byte : image.bytes) {
        std::snprintf(pair, sizeof pair, "%02X", byte);
        text += pair;
    }
    return text;
}

RomImage stepped_image(std::uint8_t first, std::uint8_t step) {
    RomImage image;
    for (std::size_t i = 0; i < kRomSize; ++i) {
        image.bytes[i] = static_cast<std::uint8_t>((first + i * step) & 0xFFu);
    }
    return image;
}

RomImage marked_image() {
    RomImage image;
    image.bytes.fill(0x5A);
    return image;
}
