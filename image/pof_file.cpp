#include "image/pof_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "common/message.h"
#include "image/regular_file.h"

namespace {

constexpr std::uint8_t kPofMagic[8] = {'P', 'O', 'F', 0, 0, 0, 1, 0};
constexpr std::uint8_t kRomSubHeader[kRomSubHeaderSize] = {0, 0, 0, 0, 0, 0, 0, 0x20, 0, 0, 1, 0};
constexpr std::size_t kRomPairsSize = 2 * kRomSize;  // the first half of the ROM data

std::uint16_t read_u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t read_u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

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

enum class ReadResult { kRead, kFailed, kNotPof };

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

// Reads the whole regular file at path; bytes that could not be read are never kept. The header
// is looked at before memory is taken for the rest, so that a large file of another kind is
// refused at once.
ReadResult read_whole_file(const char* path, PofImage& pof) {
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
    if (head_read == head_size && size <= SIZE_MAX) {
        bytes.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]);
    }
    if (bytes) {
        std::memcpy(bytes.get(), head, head_size);
        done = head_size +
               read_fully(f, bytes.get() + head_size, static_cast<std::size_t>(size) - head_size);
    }
    std::fclose(f);
    if (!bytes || done != size) {
        fail_with_path("Unable to read %s\n", path);
        return ReadResult::kFailed;
    }
    pof.bytes = std::move(bytes);
    pof.length = static_cast<std::size_t>(size);
    return ReadResult::kRead;
}

}  // namespace

bool load_pof(const char* path, PofImage& pof) {
    pof = PofImage{};
    ReadResult read = read_whole_file(path, pof);
    if (read == ReadResult::kFailed) {
        return false;
    }
    const std::uint8_t* bytes = pof.bytes.get();
    const std::uint64_t length = pof.length;
    if (read == ReadResult::kNotPof || !has_pof_header(bytes, length)) {
        return fail("Did not understand POF file header\n");
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
    // Fuzzing builds define CABLEWRIGHT_FUZZ_ANY_CRC to skip this check, so that mutated files
    // reach the checks below.
#ifndef CABLEWRIGHT_FUZZ_ANY_CRC
    if (pof_crc(pof) != read_u16(bytes + pof.crc_pos)) {
        return fail("POF file is corrupted\n");
    }
#endif
    if (pof.rom_data == kNoPosition || pof.rom_data + kRomDataSize > pof.length) {
        return fail("No ROM section in pof file\n");
    }

    const std::uint8_t* rom = bytes + pof.rom_data;
    bool unused_zero = true;
    for (std::size_t k = 0; k < kRomSize; ++k) {
        pof.image.bytes[k] = rom[2 * k + 1];
        unused_zero = unused_zero && rom[2 * k] == 0;
    }
    for (std::size_t i = kRomPairsSize; i < kRomDataSize; ++i) {
        unused_zero = unused_zero && rom[i] == 0;
    }
    if (!unused_zero) {
        return fail("Unused parts of pof file ROM are not zero\n");
    }
    return true;
}

std::uint16_t pof_crc(const PofImage& pof) {
    return crc16_x25(pof.bytes.get(), pof.crc_pos);
}

void put_rom_byte(PofImage& pof, std::size_t k, std::uint8_t value) {
    pof.image.bytes[k] = value;
    pof.bytes[pof.rom_data + 2 * k + 1] = value;
}

void stamp_serial(PofImage& pof, const char* text, std::size_t start, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        put_rom_byte(pof, start + i, static_cast<std::uint8_t>(text[i]));
    }
}

const char* write_temp_pof(PofImage& pof, TempFile& file) {
    std::uint16_t crc = pof_crc(pof);
    pof.bytes[pof.crc_pos] = static_cast<std::uint8_t>(crc & 0xFF);
    pof.bytes[pof.crc_pos + 1] = static_cast<std::uint8_t>(crc >> 8);
    // Never replace an existing file: a second run in this folder would otherwise program one
    // cable with the other cable's identity.
    switch (create_temp_file(kTempPofName, pof.bytes.get(), pof.length, file)) {
        case TempFileResult::kWritten:
            return kTempPofName;
        case TempFileResult::kInUse:
            print_message(
                "Temporary file %s is in use by another cablewright running in this "
                "folder; wait for it to finish or work in another folder\n",
                kTempPofName);
            return nullptr;
        case TempFileResult::kLeftOver:
            print_message(
                "Temporary file %s was left by an earlier run that was stopped; its "
                "cable may still be in select mode (see --leave-select-mode). Delete the "
                "file and try again\n",
                kTempPofName);
            return nullptr;
        case TempFileResult::kFailed:
            break;
    }
    print_message("Unable to write %s\n", kTempPofName);
    return nullptr;
}
