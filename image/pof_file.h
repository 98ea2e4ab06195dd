// A POF file in memory: the whole file, the place of its ROM data and checksum, and the
// RomImage it carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "image/rom_image.h"
#include "image/temp_file.h"

// The temporary file handed to the programmer, in the working directory.
constexpr char kTempPofName[] = "cablewright.tmp.pof";

constexpr std::size_t kPofHeaderSize = 12;
constexpr std::size_t kPacketHeaderSize = 6;  // u16 tag, u32 length
constexpr std::uint16_t kRomPacketTag = 24;
constexpr std::uint32_t kRomPacketLength = 1036;
constexpr std::size_t kRomSubHeaderSize = 12;
constexpr std::size_t kRomDataSize = 1024;
constexpr std::uint16_t kCrcPacketTag = 8;
constexpr std::uint32_t kCrcPacketLength = 2;
constexpr std::size_t kNoPosition = static_cast<std::size_t>(-1);

struct PofImage {
    std::unique_ptr<std::uint8_t[]> bytes;  // the whole file
    std::size_t length = 0;
    std::size_t rom_data = kNoPosition;  // start of the ROM data, after the sub-header
    std::size_t crc_pos = kNoPosition;   // the CRC packet's two data bytes
    RomImage image;                      // byte k mirrors bytes[rom_data + 2k + 1]
};

// CRC-16/X-25 of n bytes (0x906E for "123456789").
std::uint16_t crc16_x25(const std::uint8_t* data, std::size_t n);

// Reference bytewise CRC-16/X-25, kept as the oracle for the table-driven one.
std::uint16_t crc16_x25_bytewise(const std::uint8_t* data, std::size_t n);

// Loads and checks a POF file. On failure prints one message to standard error and returns false.
bool load_pof(const char* path, PofImage& pof);

// The checksum over the bytes from offset 0 up to crc_pos.
std::uint16_t pof_crc(const PofImage& pof);

// Sets image byte k and its file byte to value.
void put_rom_byte(PofImage& pof, std::size_t k, std::uint8_t value);

// put_rom_byte for offsets start + i with text[i], i < count; writes no terminator.
void stamp_serial(PofImage& pof, const char* text, std::size_t start, std::size_t count);

// Stores a fresh checksum and creates kTempPofName, owned by `file` until remove_temp_file.
// Returns its name, or null after printing why it could not be written (another run holds the
// name, a stopped run left it, or the write failed).
const char* write_temp_pof(PofImage& pof, TempFile& file);
