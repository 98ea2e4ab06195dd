// Reconciles an arbitrary cable image with a valid POF file around an arbitrary file image and
// checks the merge against the rules a user relies on: the file keeps its header bytes, the cable
// keeps its identity, a blank cable is stamped only with a fitting serial number.
//
// Input: cable image (256 bytes), file image (256 bytes), flags (1 byte), serial number (the
// rest, up to a zero byte). Missing bytes count as zero, so short inputs make blank images.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/reconcile.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/quiet_output.h"
#include "sim/pof_builder.h"
#include "testing/pof_in_memory.h"

namespace {

constexpr std::uint8_t kDebug = 1;
constexpr std::uint8_t kForce = 2;
constexpr std::uint8_t kSerialGiven = 4;
constexpr std::uint8_t kLeadingPacket = 8;  // moves the ROM data away from its usual offset
constexpr std::size_t kFlagsOffset = 2 * kRomSize;

std::uint8_t byte_at(const std::uint8_t* data, std::size_t size, std::size_t i) {
    return i < size ? data[i] : 0;
}

std::uint16_t u16_at(const RomImage& image, std::size_t offset) {
    return static_cast<std::uint16_t>(image.bytes[offset] | (image.bytes[offset + 1] << 8));
}

bool all_zero(const RomImage& image) {
    for (std::uint8_t b : image.bytes) {
        if (b != 0) {
            return false;
        }
    }
    return true;
}

// The serial format a file prescribes: its serial field up to the first zero byte.
std::string serial_format(const RomImage& file) {
    std::string format;
    for (std::size_t i = kSerialOffset; i < kSerialOffset + kSerialSize && file.bytes[i] != 0;
         ++i) {
        format.push_back(static_cast<char>(file.bytes[i]));
    }
    return format;
}

bool fits(const std::string& format, const char* serial) {
    if (serial == nullptr || std::strlen(serial) != format.size()) {
        return false;
    }
    for (std::size_t i = 0; i < format.size(); ++i) {
        bool digit = serial[i] >= '0' && serial[i] <= '9';
        if (format[i] == '#' ? !digit : serial[i] != format[i]) {
            return false;
        }
    }
    return true;
}

struct Expected {
    RomImage merged;  // the file's image once reconcile has returned
    bool reprogram = false;
    std::uint16_t hardware_id = 0;
};

Expected expected_outcome(const RomImage& cable, const RomImage& fixed, const RomImage& file,
                          const char* serial, bool force) {
    Expected e;
    e.merged = file;
    const bool blank = all_zero(fixed);
    if (blank) {
        std::string format = serial_format(file);
        if (!fits(format, serial)) {
            return e;
        }
        for (std::size_t i = 0; i < format.size(); ++i) {
            e.merged.bytes[kSerialOffset + i] = static_cast<std::uint8_t>(serial[i]);
        }
        e.hardware_id = u16_at(file, kHardwareIdOffset);
    } else {
        if (serial != nullptr ||
            u16_at(fixed, kHardwareIdOffset) != u16_at(file, kHardwareIdOffset)) {
            return e;
        }
        RomImage identity = fixed;
        if (fixed.bytes[kSignatureFlagOffset] == 0) {
            for (std::size_t k = kSignatureOffset; k < kRomSize; ++k) {
                identity.bytes[k] = file.bytes[k];
            }
            identity.bytes[kSignatureCompanion] = file.bytes[kSignatureCompanion];
        }
        for (std::size_t k = kKindOffset; k < kRomSize; ++k) {
            e.merged.bytes[k] = identity.bytes[k];
        }
        e.hardware_id = u16_at(fixed, kHardwareIdOffset);
    }
    if (e.merged.bytes[kSignatureFlagOffset] == 0 && !force) {
        return e;
    }
    const std::uint16_t file_version = u16_at(file, kZanVersionOffset);
    const std::uint16_t cable_version = u16_at(fixed, kZanVersionOffset);
    e.reprogram = blank || file_version > cable_version ||
                  (file_version == cable_version && e.merged != cable) || force;
    return e;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    require(enter_private_folder(argc, argv));
    quiet_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RomImage cable;
    RomImage file;
    for (std::size_t k = 0; k < kRomSize; ++k) {
        cable.bytes[k] = byte_at(data, size, k);
        file.bytes[k] = byte_at(data, size, kRomSize + k);
    }
    const std::uint8_t flags = byte_at(data, size, kFlagsOffset);
    std::string serial_text;
    for (std::size_t i = kFlagsOffset + 1; i < size && data[i] != 0; ++i) {
        serial_text.push_back(static_cast<char>(data[i]));
    }
    const char* serial = (flags & kSerialGiven) ? serial_text.c_str() : nullptr;
    const bool force = (flags & kForce) != 0;

    PofRecipe recipe;
    recipe.image = file;
    if (flags & kLeadingPacket) {
        recipe.leading_data = {0x5A, 0, 0xA5};
    }
    const std::vector<std::uint8_t> file_bytes = build_pof(recipe);
    PofImage pof;
    require(parse_pof_copy(file_bytes, StoredCrc::kMustMatch, pof));
    require(pof.image == file);
    const std::size_t rom_data = pof.rom_data;
    const std::size_t crc_pos = pof.crc_pos;

    RomImage fixed = cable;
    fix_up_rom(fixed);
    CableState state = assess_cable(cable, (flags & kDebug) != 0);
    require(state.as_read == cable && state.image == fixed);
    require(state.blank == all_zero(fixed));
    require(state.version == u16_at(fixed, kZanVersionOffset));
    require(state.hardware_id == u16_at(fixed, kHardwareIdOffset));

    const Reconciliation result = reconcile(&state, &pof, serial, force);
    const RomImage& merged = pof.image;

    // The image and the file bytes never drift apart, and nothing outside the image bytes moves.
    require(pof.length == file_bytes.size() && pof.rom_data == rom_data && pof.crc_pos == crc_pos);
    for (std::size_t i = 0; i < pof.length; ++i) {
        bool image_byte = i > rom_data && i < rom_data + 2 * kRomSize && (i - rom_data) % 2 == 1;
        require(image_byte || pof.bytes[i] == file_bytes[i]);
    }
    for (std::size_t k = 0; k < kRomSize; ++k) {
        require(merged.bytes[k] == pof.bytes[rom_data + 2 * k + 1]);
    }
    // The file's own bytes, its ZAN version among them, are never replaced.
    for (std::size_t k = 0; k < kKindOffset; ++k) {
        require(merged.bytes[k] == file.bytes[k]);
    }
    // A cable with content keeps its identity; only a missing signature comes from the file.
    if (!state.blank && result.reprogram) {
        const bool from_file = fixed.bytes[kSignatureFlagOffset] == 0;
        for (std::size_t k = kKindOffset; k < kRomSize; ++k) {
            bool signature_byte = k >= kSignatureOffset || k == kSignatureCompanion;
            const RomImage& source = (from_file && signature_byte) ? file : fixed;
            require(merged.bytes[k] == source.bytes[k]);
        }
    }
    // A serial that does not fit the file's format is never stamped into a blank cable.
    if (state.blank && !fits(serial_format(file), serial)) {
        require(!result.reprogram && merged == file);
    }

    const Expected expected = expected_outcome(cable, fixed, file, serial, force);
    require(result.reprogram == expected.reprogram);
    require(merged == expected.merged);
    if (result.reprogram) {
        require(result.hardware_id == expected.hardware_id);
        // What the programmer gets carries the merged image under a valid checksum.
        TempFile temp_file;
        require(write_temp_pof(pof, ".", temp_file) != nullptr);
        PofImage written;
        bool loaded = load_pof(kTempPofName, written);
        require(remove_temp_file(temp_file, kTempPofName) == TempFileRemoval::kRemoved);
        require(loaded && written.image == merged);
    }
    return 0;
}
