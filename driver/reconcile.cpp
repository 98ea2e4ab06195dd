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

// Where a judgement speaks: to standard output and error, or, quietly, into a list of lines.
struct Voice {
    std::vector<std::string>* quiet;

    void dump(const char* label, const RomImage& image) const {
        if (quiet == nullptr) {
            dump_rom(label, image);
        }
    }
    void say(const std::string& text) const {
        if (quiet == nullptr) {
            put_message(text.c_str());
            return;
        }
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            quiet->push_back(text.substr(start, end - start));
        }
    }
};

std::string formatted(const char* format, int a, int b, const char* c) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
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

Reconciliation reconcile(CableState* cable, PofImage* file, const char* serial, bool force,
                         std::vector<std::string>* quiet) {
    const Voice voice{quiet};
    CableState& state = *cable;
    PofImage& pof = *file;
    voice.dump("pof file", pof.image);
    const std::uint16_t file_version = zan_version(pof.image);
    const std::uint16_t file_id = hardware_id(pof.image);
    voice.say(formatted("POF ZAN_version=%d, hardware_id=%d, signature %s\n", file_version, file_id,
                        presence(pof.image)));

    Reconciliation result;
    if (state.blank) {
        // In a file the serial field holds the format that a new serial number must follow.
        std::string format = rom_text(pof.image, kSerialOffset, kSerialSize);
        if (!serial_matches_format(format.c_str(), serial)) {
            voice.say("Please provide a serial number of the format " + format + "\n");
            return refuse();
        }
        stamp_serial(pof, serial, kSerialOffset, format.size());
        result.hardware_id = file_id;
    } else {
        if (serial != nullptr) {
            voice.say("Once a board has a serial number you can't change it!\n");
            return refuse();
        }
        if (state.hardware_id != file_id) {
            voice.say("pof is not suitable for this cable because it has the wrong hardware ID\n");
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
        voice.say(
            "No signature in POF file.  Newer versions of linkhub will not\n"
            "work with a cable programmed with this file\n");
        if (!force) {
            voice.say("Use the --force option to reprogram anyway\n");
            return refuse();
        }
    }

    // Measured against the image before fix-ups, so a fix-up alone is worth programming.
    const bool changed = pof.image != state.as_read;
    const bool reprogram = state.blank || file_version > state.version ||
                           (file_version == state.version && changed) || force;
    if (!reprogram) {
        voice.say(file_version < state.version
                      ? "This cable contains a newer version of the hardware than the file\n"
                      : "This cable contains the same version of the hardware as the file\n");
        voice.say("Use the --force option to reprogram anyway\n");
        Reconciliation refusal;
        refusal.not_newer = true;
        return refusal;
    }
    voice.dump("Merged", pof.image);
    result.reprogram = true;
    return result;
}
