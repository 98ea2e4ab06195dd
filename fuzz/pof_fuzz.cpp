// Feeds arbitrary bytes to parse_pof; every file it accepts must survive a write and a reload by
// load_pof unchanged and keep the image mirrored in its ROM data.
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/quiet_output.h"
#include "image/pof_file.h"
#include "testing/pof_in_memory.h"

namespace {

// Set by the build: the pof target checks the stored checksum, pof_any_crc accepts any.
constexpr StoredCrc kStoredCrc = StoredCrc::CW_FUZZ_STORED_CRC;
constexpr bool kAnyCrc = kStoredCrc == StoredCrc::kAcceptAny;

std::uint16_t stored_crc(const PofImage& pof) {
    return static_cast<std::uint16_t>(pof.bytes[pof.crc_pos] | (pof.bytes[pof.crc_pos + 1] << 8));
}

// What every accepted file satisfies, whatever its history.
void require_well_formed(const PofImage& pof) {
    require(pof.bytes != nullptr);
    require(pof.crc_pos != kNoPosition && pof.crc_pos + kCrcPacketLength == pof.length);
    require(pof.rom_data != kNoPosition && pof.rom_data + kRomDataSize <= pof.length);
    // Every ROM packet, in file order, carries the one image with its unused bytes zero.
    std::vector<std::size_t> packets = pof.earlier_rom_data;
    packets.push_back(pof.rom_data);
    std::size_t previous_end = kPofHeaderSize;
    for (std::size_t data : packets) {
        require(data >= previous_end + kPacketHeaderSize + kRomSubHeaderSize);
        previous_end = data + kRomDataSize;
        for (std::size_t k = 0; k < kRomSize; ++k) {
            require(pof.image.bytes[k] == pof.bytes[data + 2 * k + 1]);
            require(pof.bytes[data + 2 * k] == 0);
        }
        for (std::size_t i = 2 * kRomSize; i < kRomDataSize; ++i) {
            require(pof.bytes[data + i] == 0);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The temporary file is written to the working directory: keep it private to this process.
    require(enter_private_folder(argc, argv));
    quiet_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    PofImage pof;
    if (!parse_pof_copy(data, size, kStoredCrc, pof)) {
        return 0;
    }
    require(pof.length == size && std::memcmp(pof.bytes.get(), data, size) == 0);
    require_well_formed(pof);
    require(kAnyCrc || stored_crc(pof) == pof_crc(pof));
    const RomImage image = pof.image;

    // The run writes the file out again with a fresh checksum; it must load as the same file.
    TempFile file;
    const char* name = write_temp_pof(pof, ".", file);
    require(name != nullptr && std::strcmp(name, kTempPofName) == 0);
    PofImage again;
    bool reloaded = load_pof(kTempPofName, again);
    require(remove_temp_file(file, kTempPofName) == TempFileRemoval::kRemoved);
    require(reloaded);
    require_well_formed(again);
    require(again.length == size && again.rom_data == pof.rom_data &&
            again.crc_pos == pof.crc_pos && again.earlier_rom_data == pof.earlier_rom_data);
    require(again.image == image);
    require(stored_crc(again) == pof_crc(again));
    for (std::size_t i = 0; i < size; ++i) {
        bool crc_byte = i == pof.crc_pos || i == pof.crc_pos + 1;
        require(again.bytes[i] == data[i] || (kAnyCrc && crc_byte));
    }
    return 0;
}
