// Feeds arbitrary texts of arbitrary lengths to rom_from_text, which must accept exactly the
// two forms a cable reports: 512 hexadecimal digits, or "empty".
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "fuzz/quiet_output.h"
#include "image/rom_text.h"

namespace {

// Written apart from the decoder's own digit reading, so that the two check each other.
int hex_value(std::uint8_t c) {
    constexpr char kLower[] = "0123456789abcdef";
    constexpr char kUpper[] = "0123456789ABCDEF";
    for (int value = 0; value < 16; ++value) {
        if (c == static_cast<std::uint8_t>(kLower[value]) ||
            c == static_cast<std::uint8_t>(kUpper[value])) {
            return value;
        }
    }
    return -1;
}

bool all_hex(const std::uint8_t* text, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (hex_value(text[i]) < 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quiet_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A filling that no accepted text produces in full, so that a partial write shows.
    RomImage before;
    for (std::size_t k = 0; k < kRomSize; ++k) {
        before.bytes[k] = static_cast<std::uint8_t>(k * 7 + 3);
    }
    RomImage image = before;
    const char* text = reinterpret_cast<const char*>(data);
    bool accepted = rom_from_text(text, size, image);

    const bool is_empty = size == 5 && std::memcmp(text, "empty", 5) == 0;
    const bool is_rom = size == kRomTextLength && all_hex(data, size);
    require(accepted == (is_empty || is_rom));
    if (!accepted) {
        require(image == before);
    } else if (is_empty) {
        require(image == RomImage{});
    } else {
        for (std::size_t i = 0; i < kRomSize; ++i) {
            int value = hex_value(data[2 * i]) * 16 + hex_value(data[2 * i + 1]);
            require(image.bytes[i] == value);
        }
    }
    return 0;
}
