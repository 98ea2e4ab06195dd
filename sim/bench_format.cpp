#include "sim/bench_format.h"

#include <cstdio>
#include <functional>

#include "image/rom_text.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool parse_flag(const std::string& text, bool& flag) {
    if (text == "0" || text == "1") {
        flag = text == "1";
        return true;
    }
    return false;
}

bool parse_u16(const std::string& text, std::uint16_t& value) {
    std::uint32_t wide = 0;
    if (!parse_number(text, wide) || wide > 0xFFFF) {
        return false;
    }
    value = static_cast<std::uint16_t>(wide);
    return true;
}

// Splits "WORD REST" at the first space; rest is empty when there is none.
void split_word(const std::string& text, std::string& word, std::string& rest) {
    std::size_t space = text.find(' ');
    word = text.substr(0, space);
    rest = space == std::string::npos ? std::string() : text.substr(space + 1);
}

bool parse_message(const std::string& text, LibraryMessage& message) {
    std::string level, escaped;
    split_word(text, level, escaped);
    return parse_number(level, message.level) && unescape_text(escaped, message.text);
}

// Walks key=value lines, skipping empty and '#' lines, and reports the first bad one.
bool parse_lines(const std::string& text, const std::string& path,
                 const std::function<FieldResult(const std::string&, const std::string&)>& apply) {
    std::size_t start = 0;
    for (int line_number = 1; start < text.size(); ++line_number) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            std::fprintf(stderr, "bench: %s line %d: expected key=value\n", path.c_str(),
                         line_number);
            return false;
        }
        std::string key = line.substr(0, equals);
        switch (apply(key, line.substr(equals + 1))) {
            case FieldResult::kOk:
                break;
            case FieldResult::kUnknownKey:
                std::fprintf(stderr, "bench: %s line %d: unknown key \"%s\"\n", path.c_str(),
                             line_number, escape_text(key).c_str());
                return false;
            case FieldResult::kBadValue:
                std::fprintf(stderr, "bench: %s line %d: bad value for %s\n", path.c_str(),
                             line_number, escape_text(key).c_str());
                return false;
        }
    }
    return true;
}

FieldResult check(bool ok) {
    return ok ? FieldResult::kOk : FieldResult::kBadValue;
}

}  // namespace

std::string escape_text(const std::string& text) {
    std::string out;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte >= 0x20 && byte <= 0x7E) {
            out += c;
        } else {
            out += "\\x";
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 0xF];
        }
    }
    return out;
}

bool unescape_text(const std::string& text, std::string& out) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            result += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\\') {
            result += '\\';
            i += 1;
        } else if (i + 3 < text.size() && text[i + 1] == 'x' && hex_digit(text[i + 2]) >= 0 &&
                   hex_digit(text[i + 3]) >= 0) {
            int byte = hex_digit(text[i + 2]) * 16 + hex_digit(text[i + 3]);
            if (byte == 0) {
                return false;
            }
            result += static_cast<char>(byte);
            i += 3;
        } else {
            return false;
        }
    }
    out = result;
    return true;
}

std::string rom_to_hex(const RomImage& image) {
    std::string out;
    for (std::uint8_t byte : image.bytes) {
        out += kHexDigits[byte >> 4];
        out += kHexDigits[byte & 0xF];
    }
    return out;
}

bool parse_number(const std::string& text, std::uint32_t& value) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    std::size_t start = hex ? 2 : 0;
    unsigned base = hex ? 16 : 10;
    if (text.size() == start) {
        return false;
    }
    std::uint64_t result = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        int digit = hex_digit(text[i]);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) {
            return false;
        }
        result = result * base + static_cast<unsigned>(digit);
        if (result > 0xFFFFFFFFu) {
            return false;
        }
    }
    value = static_cast<std::uint32_t>(result);
    return true;
}

std::string format_forced_error(const ForcedError& error) {
    return std::to_string(error.code) + (error.once ? " once" : "") +
           (error.after != 0 ? " after " + std::to_string(error.after) : "");
}

bool parse_forced_error(const std::string& text, ForcedError& error) {
    std::string code, rest;
    split_word(text, code, rest);
    ForcedError result;
    if (!parse_number(code, result.code)) {
        return false;
    }
    while (!rest.empty()) {
        std::string word, tail;
        split_word(rest, word, tail);
        if (word == "once" && !result.once) {
            result.once = true;
            rest = tail;
        } else if (word == "after") {
            std::string count;
            split_word(tail, count, rest);
            if (!parse_number(count, result.after)) {
                return false;
            }
        } else {
            return false;
        }
    }
    error = result;
    return true;
}

namespace {

struct ProgrammerWord {
    ProgrammerMode mode;
    const char* word;
    bool takes_value;
};

constexpr ProgrammerWord kProgrammerWords[] = {
    {ProgrammerMode::kNormal, "normal", false},
    {ProgrammerMode::kExit, "exit", true},
    {ProgrammerMode::kHang, "hang", true},
    {ProgrammerMode::kSegv, "segv", false},
    {ProgrammerMode::kAbort, "abort", false},
    {ProgrammerMode::kSkipRom, "skip-rom", false},
    {ProgrammerMode::kWrongByte, "wrong-byte", true},
};

}  // namespace

std::string format_programmer(const ProgrammerBehaviour& behaviour) {
    for (const ProgrammerWord& entry : kProgrammerWords) {
        if (entry.mode == behaviour.mode) {
            return entry.takes_value
                       ? std::string(entry.word) + " " + std::to_string(behaviour.value)
                       : std::string(entry.word);
        }
    }
    return "normal";
}

bool parse_programmer(const std::string& text, ProgrammerBehaviour& behaviour) {
    std::string word, value;
    split_word(text, word, value);
    for (const ProgrammerWord& entry : kProgrammerWords) {
        if (word != entry.word) {
            continue;
        }
        ProgrammerBehaviour result;
        result.mode = entry.mode;
        if (entry.takes_value ? !parse_number(value, result.value) : !value.empty()) {
            return false;
        }
        if (entry.mode == ProgrammerMode::kWrongByte && result.value >= kRomSize) {
            return false;
        }
        behaviour = result;
        return true;
    }
    return false;
}

FieldResult apply_cable_field(CableRecord& record, const std::string& key,
                              const std::string& value) {
    CableFaults& faults = record.faults;
    if (key == "name") {
        return check(unescape_text(value, record.name));
    }
    if (key == "rom") {
        record.rom_written = value != "empty";
        record.rom = RomImage{};
        return check(rom_from_text(value.data(), value.size(), record.rom));
    }
    if (key == "select") {
        return check(parse_flag(value, record.select_mode));
    }
    if (key == "usable") {
        return check(parse_number(value, record.usable));
    }
    if (key == "virtual_hw") {
        return check(parse_number(value, record.virtual_hw));
    }
    if (key == "times_programmed") {
        return check(parse_number(value, record.times_programmed));
    }
    if (key == "zan_version") {
        return check(parse_u16(value, record.zan_version));
    }
    if (key == "zan_crc") {
        return check(parse_u16(value, record.zan_crc));
    }
    if (key == "rom_reply") {
        faults.has_rom_reply = true;
        return check(unescape_text(value, faults.rom_reply));
    }
    ForcedError* error = key == "fault_find"            ? &faults.find
                         : key == "fault_lock"          ? &faults.lock
                         : key == "fault_rom_read"      ? &faults.rom_read
                         : key == "fault_set_parameter" ? &faults.set_parameter
                         : key == "fault_name"          ? &faults.name
                                                        : nullptr;
    if (error == nullptr) {
        return FieldResult::kUnknownKey;
    }
    return check(parse_forced_error(value, *error));
}

std::string format_cable(const CableRecord& record) {
    const CableFaults& faults = record.faults;
    std::string out = "# bench cable\n";
    out += "name=" + escape_text(record.name) + "\n";
    out += "rom=" + (record.rom_written ? rom_to_hex(record.rom) : std::string("empty")) + "\n";
    out += "select=" + std::string(record.select_mode ? "1" : "0") + "\n";
    out += "usable=" + std::to_string(record.usable) + "\n";
    out += "virtual_hw=" + std::to_string(record.virtual_hw) + "\n";
    out += "times_programmed=" + std::to_string(record.times_programmed) + "\n";
    out += "zan_version=" + std::to_string(record.zan_version) + "\n";
    out += "zan_crc=" + std::to_string(record.zan_crc) + "\n";
    out += "fault_find=" + format_forced_error(faults.find) + "\n";
    out += "fault_lock=" + format_forced_error(faults.lock) + "\n";
    out += "fault_rom_read=" + format_forced_error(faults.rom_read) + "\n";
    out += "fault_set_parameter=" + format_forced_error(faults.set_parameter) + "\n";
    out += "fault_name=" + format_forced_error(faults.name) + "\n";
    if (faults.has_rom_reply) {
        out += "rom_reply=" + escape_text(faults.rom_reply) + "\n";
    }
    return out;
}

bool parse_cable(const std::string& text, const std::string& path, CableRecord& record) {
    CableRecord result;
    if (!parse_lines(text, path, [&](const std::string& key, const std::string& value) {
            return apply_cable_field(result, key, value);
        })) {
        return false;
    }
    if (result.name.empty()) {
        std::fprintf(stderr, "bench: %s: no cable name\n", path.c_str());
        return false;
    }
    record = result;
    return true;
}

FieldResult apply_setting(BenchSettings& settings, const std::string& key,
                          const std::string& value) {
    if (key == "wait_scale_percent") {
        return check(parse_number(value, settings.wait_scale_percent));
    }
    if (key == "server_after_attempts") {
        return check(parse_number(value, settings.server_after_attempts));
    }
    if (key == "programmer") {
        return check(parse_programmer(value, settings.programmer));
    }
    if (key == "message") {
        LibraryMessage message;
        if (!parse_message(value, message)) {
            return FieldResult::kBadValue;
        }
        settings.messages.push_back(message);
        return FieldResult::kOk;
    }
    return FieldResult::kUnknownKey;
}

bool reset_setting(BenchSettings& settings, const std::string& key) {
    BenchSettings defaults;
    if (key == "wait_scale_percent") {
        settings.wait_scale_percent = defaults.wait_scale_percent;
    } else if (key == "server_after_attempts") {
        settings.server_after_attempts = defaults.server_after_attempts;
    } else if (key == "programmer") {
        settings.programmer = defaults.programmer;
    } else if (key == "message") {
        settings.messages.clear();
    } else {
        return false;
    }
    return true;
}

std::string format_settings(const BenchSettings& settings) {
    std::string out = "# bench settings\n";
    out += "wait_scale_percent=" + std::to_string(settings.wait_scale_percent) + "\n";
    out += "server_after_attempts=" + std::to_string(settings.server_after_attempts) + "\n";
    out += "programmer=" + format_programmer(settings.programmer) + "\n";
    for (const LibraryMessage& message : settings.messages) {
        out += "message=" + std::to_string(message.level) + " " + escape_text(message.text) + "\n";
    }
    return out;
}

bool parse_settings(const std::string& text, const std::string& path, BenchSettings& settings) {
    BenchSettings result;
    if (!parse_lines(text, path, [&](const std::string& key, const std::string& value) {
            return apply_setting(result, key, value);
        })) {
        return false;
    }
    settings = result;
    return true;
}
