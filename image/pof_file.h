// A POF file in memory: the whole file, the place of its ROM data and checksum, and the
// RomImage it carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/rom_image.h"
#include "image/temp_file.h"

// The temporary file handed to the programmer, in the run's private folder.
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
    std::size_t rom_data = kNoPosition;         // start of the last ROM packet's data, after its
                                                // sub-header
    std::vector<std::size_t> earlier_rom_data;  // the same for any ROM packets before it
    std::size_t crc_pos = kNoPosition;          // the CRC packet's two data bytes
    RomImage image;  // byte k mirrors bytes[d + 2k + 1] for rom_data and each earlier d
};

// What parse_pof makes of the checksum a file stores.
enum class StoredCrc {
    kMustMatch,  // a file whose stored checksum differs from its bytes' is corrupted
    kAcceptAny,  // fuzzing: mutated files get past the checksum to the checks behind it
};

// load_pof reads and checksums a file in pieces of this many bytes.
constexpr std::size_t kPofReadPieceSize = 256 * 1024;

// Parses and checks the POF file whose `length` bytes are `bytes`; they are handed to `pof`.
// `leading_crc` is the CRC-16/X-25 of all but the last two bytes, where a valid file keeps its
// checksum. On failure prints one message to standard error and returns false.
bool parse_pof(std::unique_ptr<std::uint8_t[]> bytes, std::size_t length, std::uint16_t leading_crc,
               StoredCrc stored_crc, PofImage& pof);

// Reads the file at path in one pass, checksumming as it reads, and parses it. On failure prints
// one message to standard error and returns false.
bool load_pof(const char* path, PofImage& pof);

// The checksum over the bytes from offset 0 up to crc_pos.
std::uint16_t pof_crc(const PofImage& pof);

// Sets image byte k and its file byte in every ROM packet to value.
void put_rom_byte(PofImage& pof, std::size_t k, std::uint8_t value);

// put_rom_byte for offsets start + i with text[i], i < count; writes no terminator.
void stamp_serial(PofImage& pof, const char* text, std::size_t start, std::size_t count);

// Stores a fresh checksum and creates kTempPofName in folder (never over an existing file),
// owned by `file` until remove_temp_file. Returns its name, or null after printing that it could
// not be written.
const char* write_temp_pof(PofImage& pof, const std::string& folder, TempFile& file);
