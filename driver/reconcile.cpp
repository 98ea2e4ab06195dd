#include "driver/reconcile.h"

#include <cstdio>
#include <string>

#include "common/message.h"

namespace {

const char* presence(const RomImage& image) {
    return has_signature(image) ? "present" : "missing";
}

Reconciliation refuse() {
    return Reconciliation{};
}

}  // namespace

CableState examine_cable(const RomImage& image) {
    CableState state;
    state.as_read = image;
    state.image = image;
    fix_up_rom(state.image);
    state.blank = is_blank(state.image);
    state.version = zan_version(state.image);
    state.hardware_id = hardware_id(state.image);
    return state;
}

void print_cable_line(const CableState& state) {
    if (state.blank) {
        put_message("Cable ROM is blank\n");
    } else {
        print_message("Cable ZAN_version=%d, hardware_id=%d, signature %s\n", state.version,
                      state.hardware_id, presence(state.image));
    }
}

CableState assess_cable(const RomImage& image, bool debug) {
    dump_rom("Cable", image);
    CableState state = examine_cable(image);
    if (debug && state.image != state.as_read) {
        dump_rom("After fixups cable", state.image);
    }
    print_cable_line(state);
    return state;
}

Reconciliation reconcile(CableState* cable, PofImage* file, const char* serial, bool force) {
    CableState& state = *cable;
    PofImage& pof = *file;
    dump_rom("pof file", pof.image);
    const std::uint16_t file_version = zan_version(pof.image);
    const std::uint16_t file_id = hardware_id(pof.image);
    print_message("POF ZAN_version=%d, hardware_id=%d, signature %s\n", file_version, file_id,
                  presence(pof.image));

    Reconciliation result;
    if (state.blank) {
        // In a file the serial field holds the format that a new serial number must follow.
        std::string format = rom_text(pof.image, kSerialOffset, kSerialSize);
        if (!serial_matches_format(format.c_str(), serial)) {
            print_message("Please provide a serial number of the format %s\n", format.c_str());
            return refuse();
        }
        stamp_serial(pof, serial, kSerialOffset, format.size());
        result.hardware_id = file_id;
    } else {
        if (serial != nullptr) {
            put_message("Once a board has a serial number you can't change it!\n");
            return refuse();
        }
        if (state.hardware_id != file_id) {
            put_message(
                "pof is not suitable for this cable because it has the wrong hardware ID\n");
            return refuse();
        }
        if (!has_signature(state.image)) {
            for (std::size_t k = kSignatureOffset; k < kRomSize; ++k) {
                state.image.bytes[k] = pof.image.bytes[k];
            }
            state.image.bytes[kSignatureCompanion] = pof.image.bytes[kSignatureCompanion];
        }
        // The file keeps its bytes below 0x20, its ZAN version among them; the cable keeps
        // its identity.
        for (std::size_t k = kKindOffset; k < kRomSize; ++k) {
            put_rom_byte(pof, k, state.image.bytes[k]);
        }
        result.hardware_id = state.hardware_id;
    }

    if (!has_signature(pof.image)) {
        put_message(
            "No signature in POF file.  Newer versions of linkhub will not\n"
            "work with a cable programmed with this file\n");
        if (!force) {
            put_message("Use the --force option to reprogram anyway\n");
            return refuse();
        }
    }

    // Measured against the image before fix-ups, so a fix-up alone is worth programming.
    const bool changed = pof.image != state.as_read;
    const bool reprogram = state.blank || file_version > state.version ||
                           (file_version == state.version && changed) || force;
    if (!reprogram) {
        put_message(file_version < state.version
                        ? "This cable contains a newer version of the hardware than the file\n"
                        : "This cable contains the same version of the hardware as the file\n");
        put_message("Use the --force option to reprogram anyway\n");
        return refuse();
    }
    dump_rom("Merged", pof.image);
    result.reprogram = true;
    return result;
}
