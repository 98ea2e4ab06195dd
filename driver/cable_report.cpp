#include "driver/cable_report.h"

#include <cstdio>

#include "cable/error_name.h"
#include "driver/json_text.h"
#include "driver/reconcile.h"

namespace {

const char* presence(bool present) {
    return present ? "present" : "missing";
}

const char* json_bool(bool value) {
    return value ? "true" : "false";
}

// Why a cable shows no ROM, in the words of the table; empty for a cable whose ROM was read.
std::string trouble(const ListedCable& cable) {
    switch (cable.kind) {
        case ListedKind::kRom:
            return "";
        case ListedKind::kInUse:
            return "in use";
        case ListedKind::kUnreadable:
            return "unreadable ROM";
        case ListedKind::kError:
            break;
    }
    return std::string("error (") + error_name(cable.error) + ")";
}

}  // namespace

std::string visible_text(const std::string& text) {
    std::string shown;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            shown += escape;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

std::string rom_hex(const RomImage& image) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(2 * kRomSize);
    for (std::uint8_t byte : image.bytes) {
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0F];
    }
    return text;
}

std::string cable_list_line(const ListedCable& cable) {
    std::string head = std::to_string(cable.number) + ") " + visible_text(cable.name) + ": ";
    if (cable.kind != ListedKind::kRom) {
        return head + trouble(cable) + "\n";
    }
    CableState state = examine_cable(cable.rom);
    if (state.blank) {
        return head + "blank\n";
    }
    return head + "ZAN_version=" + std::to_string(state.version) +
           ", hardware_id=" + std::to_string(state.hardware_id) + ", serial \"" +
           visible_text(rom_text(state.image, kSerialOffset, kSerialSize)) + "\", product \"" +
           visible_text(rom_text(state.image, kProductOffset, kProductSize)) + "\", signature " +
           presence(has_signature(state.image)) + "\n";
}

std::string cable_json(const ListedCable& cable) {
    std::string number = cable.number > 0 ? std::to_string(cable.number) : "null";
    std::string object = "{\"number\":" + number + ",\"name\":" + json_string(cable.name);
    if (cable.kind != ListedKind::kRom) {
        return object + ",\"error\":" + json_string(trouble(cable)) + "}";
    }
    CableState state = examine_cable(cable.rom);
    return object + ",\"updatable\":" + json_bool(cable.updatable) + ",\"rom\":\"" +
           rom_hex(cable.rom) + "\",\"blank\":" + json_bool(state.blank) +
           ",\"zan_version\":" + std::to_string(state.version) +
           ",\"hardware_id\":" + std::to_string(state.hardware_id) +
           ",\"serial\":" + json_string(rom_text(state.image, kSerialOffset, kSerialSize)) +
           ",\"product_name\":" + json_string(rom_text(state.image, kProductOffset, kProductSize)) +
           ",\"signature\":" + json_bool(has_signature(state.image)) + "}";
}

std::string cables_json_document(const std::vector<ListedCable>& cables) {
    if (cables.empty()) {
        return "{\"cables\":[]}\n";
    }
    std::string document = "{\"cables\":[\n";
    for (std::size_t i = 0; i < cables.size(); ++i) {
        document += cable_json(cables[i]);
        document += i + 1 < cables.size() ? ",\n" : "\n";
    }
    return document + "]}\n";
}
