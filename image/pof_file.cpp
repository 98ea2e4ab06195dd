#include "image/pof_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "common/message.h"
#include "image/crc16.h"
#include "image/little_endian.h"
#include "image/regular_file.h"

namespace {

constexpr std::uint8_t kPofMagic[8] = {'P', 'O', 'F', 0, 0, 0, 1, 0};
constexpr std::uint8_t kRomSubHeader[kRomSubHeaderSize] = {0, 0, 0, 0, 0, 0, 0, 0x20, 0, 0, 1, 0};
constexpr std::size_t kRomPairsSize = 2 * kRomSize;  // the first half of the ROM data
constexpr char kNotPofMessage[] = "Did not understand POF file header\n";

bool fail(const char* message) {
    put_message(message);
    return false;
}

bool fail_with_path(const char* format, const char* path) {
    print_message(format, path);
    return false;
}

bool has_pof_header(const std::uint8_t* bytes, std::uint64_t length) {
    return length >= sizeof kPofMagic && std::memcmp(bytes, kPofMagic, sizeof kPofMagic) == 0;
}

// Reads up to n bytes into out; returns how many were read.
std::size_t read_fully(std::FILE* f, std::uint8_t* out, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        std::size_t got = std::fread(out + done, 1, n - done, f);
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

// A file's bytes as read, with the checksum of all but its last two.
struct FileBytes {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t length = 0;
    std::uint16_t leading_crc = 0;
};

enum class ReadResult { kRead, kFailed, kNotPof };

// Reads size bytes into out and checksums them piece by piece, each while it is still in the
// cache, leaving out the last two bytes of the file; the first `head` bytes are in out already.
// Pieces end at multiples of kPofReadPieceSize. Returns how many bytes out holds.
std::size_t read_and_checksum(std::FILE* f, std::uint8_t* out, std::size_t head, std::size_t size,
                              Crc16X25& crc) {
    const std::size_t covered = size >= kCrcPacketLength ? size - kCrcPacketLength : 0;
    std::size_t done = head;
    crc16_x25_add(crc, out, std::min(done, covered));
    while (done < size) {
        const std::size_t piece =
            std::min(kPofReadPieceSize - done % kPofReadPieceSize, size - done);
        const std::size_t got = read_fully(f, out + done, piece);
        if (got == 0) {
            break;
        }
        if (done < covered) {
            crc16_x25_add(crc, out + done, std::min(done + got, covered) - done);
        }
        done += got;
    }
    return done;
}

// Reads the whole regular file at path; bytes that could not be read are never kept. The header
// is looked at before memory is taken for the rest, so that a large file of another kind is
// refused at once.
ReadResult read_whole_file(const char* path, FileBytes& file) {
    std::uint64_t size = 0;
    std::FILE* f = open_regular_file(path, size);
    if (f == nullptr) {
        fail_with_path("Unable to open %s\n", path);
        return ReadResult::kFailed;
    }
    std::uint8_t head[sizeof kPofMagic];
    const std::size_t head_size =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof head));
    const std::size_t head_read = read_fully(f, head, head_size);
    if (head_read == head_size && !has_pof_header(head, head_size)) {
        std::fclose(f);
        return ReadResult::kNotPof;
    }
    std::unique_ptr<std::uint8_t[]> bytes;
    std::uint64_t done = 0;
    Crc16X25 crc;
    if (head_read == head_size && size <= SIZE_MAX) {
        bytes.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]);
    }
    if (bytes) {
        std::memcpy(bytes.get(), head, head_size);
        done = read_and_checksum(f, bytes.get(), head_size, static_cast<std::size_t>(size), crc);
    }
    std::fclose(f);
    if (!bytes || done != size) {
        fail_with_path("Unable to read %s\n", path);
        return ReadResult::kFailed;
    }
    file.bytes = std::move(bytes);
    file.length = static_cast<std::size_t>(size);
    file.leading_crc = crc16_x25_value(crc);
    return ReadResult::kRead;
}

// The image in the ROM data at rom; false when its unused bytes are not all zero.
bool read_rom_data(const std::uint8_t* rom, RomImage& image) {
    bool unused_zero = true;
    for (std::size_t k = 0; k < kRomSize; ++k) {
        image.bytes[k] = rom[2 * k + 1];
        unused_zero = unused_zero && rom[2 * k] == 0;
    }
    for (std::size_t i = kRomPairsSize; i < kRomDataSize; ++i) {
        unused_zero = unused_zero && rom[i] == 0;
    }
    return unused_zero;
}

}  // namespace

bool parse_pof(std::unique_ptr<std::uint8_t[]> file_bytes, std::size_t length,
               std::uint16_t leading_crc, StoredCrc stored_crc, PofImage& pof) {
    pof = PofImage{};
    pof.bytes = std::move(file_bytes);
    pof.length = length;
    const std::uint8_t* bytes = pof.bytes.get();
    if (!has_pof_header(bytes, length)) {
        return fail(kNotPofMessage);
    }

    // 64-bit offsets: offset + 6 + a 32-bit length cannot wrap, so an oversized packet simply
    // runs past the end and ends the walk.
    std::uint64_t offset = kPofHeaderSize;
    while (offset + kPacketHeaderSize < length) {
        std::uint16_t tag = read_u16(bytes + offset);
        std::uint32_t packet_length = read_u32(bytes + offset + 2);
        std::uint64_t data = offset + kPacketHeaderSize;
        if (tag == kRomPacketTag) {
            bool sub_header_inside = data + kRomSubHeaderSize <= length;
            if (packet_length != kRomPacketLength ||
                (sub_header_inside &&
                 std::memcmp(bytes + data, kRomSubHeader, kRomSubHeaderSize) != 0)) {
                return fail("Did not understand ROM section in POF file\n");
            }
            if (pof.rom_data != kNoPosition) {
                pof.earlier_rom_data.push_back(pof.rom_data);
            }
            pof.rom_data = static_cast<std::size_t>(data + kRomSubHeaderSize);
        }
        offset = data + packet_length;
        if (tag == kCrcPacketTag && packet_length == kCrcPacketLength) {
            pof.crc_pos = static_cast<std::size_t>(data);
            break;
        }
    }
    if (offset != length || pof.crc_pos == kNoPosition) {
        return fail("Unknown data at end of pof file\n");
    }
    // The CRC packet ends the file here, so leading_crc covers exactly the bytes before crc_pos.
    if (stored_crc == StoredCrc::kMustMatch && leading_crc != read_u16(bytes + pof.crc_pos)) {
        return fail("POF file is corrupted\n");
    }
    if (pof.rom_data == kNoPosition || pof.rom_data + kRomDataSize > pof.length) {
        return fail("No ROM section in pof file\n");
    }

    if (!read_rom_data(bytes + pof.rom_data, pof.image)) {
        return fail("Unused parts of pof file ROM are not zero\n");
    }
    // The programmer may take its image from any ROM packet, so each must be sound and carry
    // the same image; the merged identity then goes into every one of them.
    for (std::size_t earlier : pof.earlier_rom_data) {
        RomImage image;
        if (!read_rom_data(bytes + earlier, image)) {
            return fail("Unused parts of pof file ROM are not zero\n");
        }
        if (image != pof.image) {
            return fail("POF file has ROM sections that differ\n");
        }
    }
    return true;
}

bool load_pof(const char* path, PofImage& pof) {
    pof = PofImage{};
    FileBytes file;
    switch (read_whole_file(path, file)) {
        case ReadResult::kFailed:
            return false;
        case ReadResult::kNotPof:
            return fail(kNotPofMessage);
        case ReadResult::kRead:
            break;
    }
    return parse_pof(std::move(file.bytes), file.length, file.leading_crc, StoredCrc::kMustMatch,
                     pof);
}

std::uint16_t pof_crc(const PofImage& pof) {
    return crc16_x25(pof.bytes.get(), pof.crc_pos);
}

void put_rom_byte(PofImage& pof, std::size_t k, std::uint8_t value) {
    pof.image.bytes[k] = value;
    pof.bytes[pof.rom_data + 2 * k + 1] = value;
    for (std::size_t earlier : pof.earlier_rom_data) {
        pof.bytes[earlier + 2 * k + 1] = value;
    }
}

void stamp_serial(PofImage& pof, const char* text, std::size_t start, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        put_rom_byte(pof, start + i, static_cast<std::uint8_t>(text[i]));
    }
}

const char* write_temp_pof(PofImage& pof, const std::string& folder, TempFile& file) {
    write_u16(pof.bytes.get() + pof.crc_pos, pof_crc(pof));
    const std::string path = folder + "/" + kTempPofName;
    if (create_temp_file(path.c_str(), pof.bytes.get(), pof.length, file)) {
        return kTempPofName;
    }
    print_message("Unable to write %s\n", kTempPofName);
    return nullptr;
}
