// The cable ROM: 256 bytes that identify a cable and record the version of its ZAN logic.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

constexpr std::size_t kRomSize = 256;

// Field layout; multi-byte numbers are little-endian.
constexpr std::size_t kZanVersionOffset = 0x1E;     // u16
constexpr std::size_t kKindOffset = 0x20;           // u8
constexpr std::size_t kHardwareIdOffset = 0x21;     // u16
constexpr std::size_t kSignatureCompanion = 0x2F;   // u8, travels with the signature block
constexpr std::size_t kSerialOffset = 0x30;         // text, up to 16 characters
constexpr std::size_t kSerialSize = 16;
constexpr std::size_t kProductOffset = 0x40;        // text ending at a zero byte
constexpr std::size_t kProductSize = 64;
constexpr std::size_t kSignatureOffset = 0x80;      // signature block up to the end
constexpr std::size_t kSignatureFlagOffset = 0xC0;  // non-zero: signature present

struct RomImage {
    std::array<std::uint8_t, kRomSize> bytes{};
};

inline bool operator==(const RomImage& a, const RomImage& b) { return a.bytes == b.bytes; }
inline bool operator!=(const RomImage& a, const RomImage& b) { return !(a == b); }

// True when all 256 bytes are zero (a ROM never written).
bool is_blank(const RomImage& image);

// The ZAN version at 0x1E.
std::uint16_t zan_version(const RomImage& image);

// The hardware id at 0x21.
std::uint16_t hardware_id(const RomImage& image);

// True when the signature flag at 0xC0 is non-zero.
bool has_signature(const RomImage& image);

// Text of a field that ends at its first zero byte or after `size` bytes.
std::string rom_text(const RomImage& image, std::size_t offset, std::size_t size);

// The 17-line dump of an image under a label, exactly as dump_rom prints it.
std::string format_rom_dump(const char* label, const RomImage& image);

// Prints format_rom_dump to standard output.
void dump_rom(const char* label, const RomImage& image);

// Brings older ROM contents read from a cable to the current form, in place.
void fix_up_rom(RomImage& image);

// True when serial fits format ('#' stands for a decimal digit); false if either is null.
bool serial_matches_format(const char* format, const char* serial);
