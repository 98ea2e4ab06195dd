#include "image/rom_image.h"

#include <cstdio>
#include <cstring>

#include "image/ascii.h"
#include "image/little_endian.h"

namespace {

// Product names that older ROMs carry and the one they are corrected to.
constexpr char kOldKestrelName[] = "USB Kestrel++";
constexpr char kCurrentName[] = "USB-KestrelII";  // written with its zero: 14 bytes
constexpr char kSerialPrefix[] = "101-0";

}  // namespace

bool is_blank(const RomImage& image) {
    for (std::uint8_t b : image.bytes) {
        if (b != 0) {
            return false;
        }
    }
    return true;
}

std::uint16_t zan_version(const RomImage& image) {
    return read_u16(&image.bytes[kZanVersionOffset]);
}

std::uint16_t hardware_id(const RomImage& image) {
    return read_u16(&image.bytes[kHardwareIdOffset]);
}

bool has_signature(const RomImage& image) {
    return image.bytes[kSignatureFlagOffset] != 0;
}

std::string rom_text(const RomImage& image, std::size_t offset, std::size_t size) {
    std::string text;
    for (std::size_t i = offset; i < offset + size && i < kRomSize && image.bytes[i] != 0; ++i) {
        text.push_back(static_cast<char>(image.bytes[i]));
    }
    return text;
}

std::string format_rom_dump(const char* label, const RomImage& image) {
    std::string out = std::string(label) + " ROM contents:\n";
    char cell[8];
    for (std::size_t row = 0; row < kRomSize; row += 16) {
        std::snprintf(cell, sizeof cell, "%3X:", static_cast<unsigned>(row));
        out += cell;
        for (std::size_t i = 0; i < 16; ++i) {
            if (i == 4 || i == 8 || i == 12) {
                out += ' ';
            }
            std::snprintf(cell, sizeof cell, " %02X", image.bytes[row + i]);
            out += cell;
        }
        out += "  ";
        for (std::size_t i = 0; i < 16; ++i) {
            std::uint8_t b = image.bytes[row + i];
            out += (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.';
        }
        out += '\n';
    }
    return out;
}

void dump_rom(const char* label, const RomImage& image) {
    std::string text = format_rom_dump(label, image);
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void fix_up_rom(RomImage& image) {
    std::uint16_t id = hardware_id(image);
    std::string product = rom_text(image, kProductOffset, kProductSize);
    if (id == 0) {
        // Early cables of this kind were shipped with hardware id 0.
        if (image.bytes[kKindOffset] == 1 && product == kOldKestrelName) {
            image.bytes[kHardwareIdOffset] = 1;
        }
        return;
    }
    if (id != 1) {
        return;
    }
    if (product == kOldKestrelName ||
        equal_ignoring_ascii_case(product.c_str(), "Debug-Kestrel qdex") ||
        equal_ignoring_ascii_case(product.c_str(), "USB-Kestrel II")) {
        std::memcpy(&image.bytes[kProductOffset], kCurrentName, sizeof kCurrentName);
    }
    // Serial numbers of at most three characters predate the "101-0" prefix.
    if (image.bytes[kSerialOffset + 3] == 0) {
        std::memmove(&image.bytes[kSerialOffset + 5], &image.bytes[kSerialOffset], 4);
        std::memcpy(&image.bytes[kSerialOffset], kSerialPrefix, 5);
    }
}

bool serial_matches_format(const char* format, const char* serial) {
    if (format == nullptr || serial == nullptr) {
        return false;
    }
    std::size_t i = 0;
    for (; format[i] != '\0'; ++i) {
        char s = serial[i];
        if (s == '\0') {
            return false;
        }
        if (format[i] == '#' ? !(s >= '0' && s <= '9') : s != format[i]) {
            return false;
        }
    }
    return serial[i] == '\0';
}
