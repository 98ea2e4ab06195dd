// ROM images with chosen identity fields, for benches, demos and tests.
#pragma once

#include <cstdint>
#include <string>

#include "image/rom_image.h"

struct RomFields {
    std::uint16_t zan_version = 1;
    std::uint16_t hardware_id = 2;
    std::uint8_t kind = 0;
    std::string serial = "A-0001";  // on a cable its serial number, in a file the serial format
    std::string product = "USB-KestrelII";
    bool signature = true;
};

// Longest serial and product texts make_rom accepts (the product keeps its zero byte).
constexpr std::size_t kMaxSerialLength = kSerialSize;
constexpr std::size_t kMaxProductLength = kProductSize - 1;

// The image carrying fields; zero elsewhere. A present signature fills the signature block
// with bytes derived from the serial text, so different images carry different signatures, and
// sets the signature flag and the companion byte at 0x2F. Texts longer than the limits are cut.
RomImage make_rom(const RomFields& fields);
