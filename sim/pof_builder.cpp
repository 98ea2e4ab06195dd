#include "sim/pof_builder.h"

#include <cstdio>

#include "image/crc16.h"
#include "image/little_endian.h"
#include "image/pof_file.h"

namespace {

void put_u16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>((v >> shift) & 0xFF));
    }
}

}  // namespace

std::vector<std::uint8_t> build_pof(const PofRecipe& recipe) {
    std::vector<std::uint8_t> out(recipe.header);
    if (!recipe.leading_data.empty()) {
        put_u16(out, 3);
        put_u32(out, static_cast<std::uint32_t>(recipe.leading_data.size()));
        out.insert(out.end(), recipe.leading_data.begin(), recipe.leading_data.end());
    }
    for (const RomImage& earlier : recipe.earlier_roms) {
        put_u16(out, kRomPacketTag);
        put_u32(out, kRomPacketLength);
        std::vector<std::uint8_t> data(recipe.rom_sub_header);
        data.resize(kRomSubHeaderSize + kRomDataSize, 0);
        for (std::size_t k = 0; k < kRomSize; ++k) {
            data[kRomSubHeaderSize + 2 * k + 1] = earlier.bytes[k];
        }
        if (recipe.nonzero_earlier_byte) {
            data[kRomSubHeaderSize + 2 * 5] = 1;
        }
        out.insert(out.end(), data.begin(), data.end());
    }
    if (recipe.include_rom) {
        put_u16(out, kRomPacketTag);
        put_u32(out, recipe.rom_length);
        std::vector<std::uint8_t> data(recipe.rom_sub_header);
        data.resize(kRomSubHeaderSize + kRomDataSize, 0);
        for (std::size_t k = 0; k < kRomSize; ++k) {
            data[kRomSubHeaderSize + 2 * k + 1] = recipe.image.bytes[k];
        }
        if (recipe.nonzero_pair_byte) {
            data[kRomSubHeaderSize + 2 * 17] = 1;
        }
        if (recipe.nonzero_tail_byte) {
            data[kRomSubHeaderSize + 512 + 100] = 1;
        }
        data.resize(recipe.rom_length < data.size() ? recipe.rom_length : data.size());
        data.resize(recipe.rom_length, 0);
        out.insert(out.end(), data.begin(), data.end());
    }
    if (recipe.include_crc) {
        put_u16(out, kCrcPacketTag);
        put_u32(out, kCrcPacketLength);
        std::uint16_t crc = crc16_x25(out.data(), out.size());
        if (recipe.corrupt_crc) {
            crc = static_cast<std::uint16_t>(crc + 1);
        }
        put_u16(out, crc);
    }
    out.insert(out.end(), recipe.trailing.begin(), recipe.trailing.end());
    return out;
}

bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    // An empty vector may have no storage at all, which fwrite must not be given.
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

void set_u16(RomImage& image, std::size_t offset, std::uint16_t value) {
    write_u16(&image.bytes[offset], value);
}

void set_text(RomImage& image, std::size_t offset, const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        image.bytes[offset + i] = static_cast<std::uint8_t>(text[i]);
    }
    if (offset + text.size() < kRomSize) {
        image.bytes[offset + text.size()] = 0;
    }
}
