#include "sim/bench_commands.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "image/rom_text.h"
#include "sim/bench.h"
#include "sim/bench_format.h"
#include "sim/file_lock.h"
#include "sim/pof_builder.h"
#include "sim/rom_recipe.h"
#include "sim/tool_args.h"

namespace {

constexpr std::uint32_t kU8Max = 0xFF;
constexpr std::uint32_t kU16Max = 0xFFFF;

const std::vector<OptionSpec> kFieldOptions = {
    {"--version", true}, {"--hwid", true},       {"--kind", true},
    {"--product", true}, {"--signature", false}, {"--no-signature", false},
};

// Fills fields from the ROM field options; serial_option names the option for the serial field.
bool read_rom_fields(const ToolArgs& args, const char* serial_option, RomFields& fields) {
    std::uint32_t version = fields.zan_version, hwid = fields.hardware_id, kind = fields.kind;
    if (!number_option(args, "--version", kU16Max, version) ||
        !number_option(args, "--hwid", kU16Max, hwid) ||
        !number_option(args, "--kind", kU8Max, kind)) {
        return false;
    }
    fields.zan_version = static_cast<std::uint16_t>(version);
    fields.hardware_id = static_cast<std::uint16_t>(hwid);
    fields.kind = static_cast<std::uint8_t>(kind);
    if (has_option(args, serial_option)) {
        fields.serial = args.options.at(serial_option);
    }
    if (has_option(args, "--product")) {
        fields.product = args.options.at("--product");
    }
    if (has_option(args, "--signature") && has_option(args, "--no-signature")) {
        std::fprintf(stderr, "cablebench: --signature and --no-signature exclude each other\n");
        return false;
    }
    fields.signature = !has_option(args, "--no-signature");
    if (fields.serial.size() > kMaxSerialLength || fields.product.size() > kMaxProductLength) {
        std::fprintf(stderr, "cablebench: the serial takes at most %zu and the product %zu bytes\n",
                     kMaxSerialLength, kMaxProductLength);
        return false;
    }
    return true;
}

// Loads the named cable; false after a message when it is not there.
bool find_named(const std::string& dir, const std::string& name, CableRecord& record, int& id) {
    switch (load_named_cable(dir, name, record, &id)) {
        case LoadResult::kLoaded:
            return true;
        case LoadResult::kMissing:
            std::fprintf(stderr, "cablebench: no cable named \"%s\"\n", escape_text(name).c_str());
            return false;
        case LoadResult::kFailed:
            break;
    }
    return false;
}

std::string describe_fault(const char* kind, const ForcedError& fault) {
    return fault.code == 0 ? "" : std::string(" ") + kind + "=" + format_forced_error(fault);
}

void show_cable(int id, const CableRecord& cable) {
    std::printf("Cable %d: \"%s\"\n", id, escape_text(cable.name).c_str());
    std::printf("  select mode %s, record words usable=%u virtual_hw=%u\n",
                cable.select_mode ? "on" : "off", static_cast<unsigned>(cable.usable),
                static_cast<unsigned>(cable.virtual_hw));
    if (cable.rom_written) {
        const RomImage& rom = cable.rom;
        std::printf(
            "  ROM: ZAN_version=%u hardware_id=%u kind=%u serial=\"%s\" product=\"%s\" "
            "signature %s\n",
            zan_version(rom), hardware_id(rom), rom.bytes[kKindOffset],
            escape_text(rom_text(rom, kSerialOffset, kSerialSize)).c_str(),
            escape_text(rom_text(rom, kProductOffset, kProductSize)).c_str(),
            has_signature(rom) ? "present" : "missing");
    } else {
        std::printf("  ROM: never written (reads \"empty\")\n");
    }
    if (cable.times_programmed == 0) {
        std::printf("  ZAN logic: never programmed\n");
    } else {
        std::printf("  ZAN logic: programmed %u times, last ZAN_version=%u CRC=0x%04X\n",
                    static_cast<unsigned>(cable.times_programmed), cable.zan_version,
                    cable.zan_crc);
    }
    const CableFaults& f = cable.faults;
    std::string faults = describe_fault("find", f.find) + describe_fault("lock", f.lock) +
                         describe_fault("rom-read", f.rom_read) +
                         describe_fault("set-parameter", f.set_parameter) +
                         describe_fault("name", f.name);
    if (f.has_rom_reply) {
        faults += " rom-reply=\"" + escape_text(f.rom_reply) + "\"";
    }
    std::printf("  faults:%s\n", faults.empty() ? " none" : faults.c_str());
    if (cable.rom_written) {
        std::fputs(format_rom_dump("Cable", cable.rom).c_str(), stdout);
    }
}

// Applies one fault-command KIND and VALUE to a cable; false after a message.
bool apply_fault(CableRecord& cable, const std::string& kind, const std::string& value, bool once,
                 std::uint32_t after) {
    CableFaults& f = cable.faults;
    ForcedError* error = kind == "find"            ? &f.find
                         : kind == "lock"          ? &f.lock
                         : kind == "rom-read"      ? &f.rom_read
                         : kind == "set-parameter" ? &f.set_parameter
                         : kind == "name"          ? &f.name
                                                   : nullptr;
    if (error != nullptr) {
        ForcedError parsed;
        if (!parse_number(value, parsed.code)) {
            std::fprintf(stderr, "cablebench: the %s fault needs an error code\n", kind.c_str());
            return false;
        }
        parsed.once = once && parsed.code != 0;
        parsed.after = parsed.code != 0 ? after : 0;
        *error = parsed;
        return true;
    }
    if (kind == "rom-reply") {
        f.has_rom_reply = true;
        f.rom_reply = value;
        return true;
    }
    const char* key = kind == "usable"       ? "usable"
                      : kind == "virtual-hw" ? "virtual_hw"
                      : kind == "select"     ? "select"
                      : kind == "rom"        ? "rom"
                                             : nullptr;
    if (key == nullptr) {
        std::fprintf(stderr, "cablebench: unknown fault kind \"%s\" (see --help)\n",
                     escape_text(kind).c_str());
        return false;
    }
    if (apply_cable_field(cable, key, value) != FieldResult::kOk) {
        std::fprintf(stderr, "cablebench: bad value \"%s\" for %s\n", escape_text(value).c_str(),
                     kind.c_str());
        return false;
    }
    return true;
}

}  // namespace

int command_init(const Arguments& raw) {
    ToolArgs args;
    std::string dir;
    if (!parse_tool_args(raw, {}, args) || !take_bench_dir(args, 0, "init", dir)) {
        return kToolUsage;
    }
    return create_bench(dir) ? kToolOk : kToolFailed;
}

int command_add(const Arguments& raw) {
    std::vector<OptionSpec> specs = kFieldOptions;
    specs.push_back({"--serial", true});
    specs.push_back({"--blank", false});
    specs.push_back({"--rom", true});
    specs.push_back({"--count", true});
    ToolArgs args;
    std::string dir;
    if (!parse_tool_args(raw, specs, args) || !take_existing_bench(args, 1, "add", dir)) {
        return kToolUsage;
    }
    // Many cables in one command, for benchmarks and tests of many cables at once.
    int count = 0;
    if (has_option(args, "--count")) {
        const std::string& text = args.options.at("--count");
        char* end = nullptr;
        const long n = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || n < 1 || n > 10000) {
            std::fprintf(stderr, "cablebench: --count needs a number from 1 to 10000\n");
            return kToolUsage;
        }
        count = static_cast<int>(n);
        args.options.erase("--count");
    }
    CableRecord cable;
    cable.name = args.positionals[0];
    bool blank = has_option(args, "--blank");
    bool rom = has_option(args, "--rom");
    if ((blank || rom) && args.options.size() > 1) {
        std::fprintf(stderr, "cablebench: --blank and --rom take no other ROM options\n");
        return kToolUsage;
    }
    RomFields fields;
    if (rom) {
        const std::string& hex = args.options.at("--rom");
        if (!rom_from_hex(hex.data(), hex.size(), cable.rom)) {
            std::fprintf(stderr, "cablebench: --rom needs 512 hexadecimal digits\n");
            return kToolUsage;
        }
    }
    if (!blank && !rom) {
        if (!read_rom_fields(args, "--serial", fields)) {
            return kToolUsage;
        }
        cable.rom = make_rom(fields);
    }
    cable.rom_written = !blank;
    if (count == 0) {
        return add_cable(dir, cable) ? kToolOk : kToolFailed;
    }
    const std::string base = cable.name;
    for (int k = 1; k <= count; ++k) {
        cable.name = base + "-" + std::to_string(k);
        if (!add_cable(dir, cable)) {
            return kToolFailed;
        }
    }
    return kToolOk;
}

int command_remove(const Arguments& raw) {
    ToolArgs args;
    std::string dir;
    if (!parse_tool_args(raw, {}, args) || !take_existing_bench(args, 1, "remove", dir)) {
        return kToolUsage;
    }
    return remove_cable(dir, args.positionals[0]) ? kToolOk : kToolFailed;
}

int command_fault(const Arguments& raw) {
    ToolArgs args;
    std::string dir;
    std::uint32_t after = 0;
    if (!parse_tool_args(raw, {{"--once", false}, {"--after", true}}, args) ||
        !take_existing_bench(args, 3, "fault", dir) ||
        !number_option(args, "--after", UINT32_MAX, after)) {
        return kToolUsage;
    }
    CableRecord cable;
    int id = 0;
    if (!find_named(dir, args.positionals[0], cable, id)) {
        return kToolFailed;
    }
    // Checked on a copy first so that a bad value is reported before the bench is touched.
    if (!apply_fault(cable, args.positionals[1], args.positionals[2], has_option(args, "--once"),
                     after)) {
        return kToolUsage;
    }
    bool once = has_option(args, "--once");
    return update_cable(dir, id,
                        [&](CableRecord& r) {
                            apply_fault(r, args.positionals[1], args.positionals[2], once, after);
                        })
               ? kToolOk
               : kToolFailed;
}

int command_clear(const Arguments& raw) {
    ToolArgs args;
    std::string dir;
    if (!parse_tool_args(raw, {}, args) || !take_existing_bench(args, 1, "clear", dir)) {
        return kToolUsage;
    }
    CableRecord cable;
    int id = 0;
    if (!find_named(dir, args.positionals[0], cable, id)) {
        return kToolFailed;
    }
    return update_cable(dir, id,
                        [](CableRecord& r) {
                            CableRecord defaults;
                            r.faults = defaults.faults;
                            r.usable = defaults.usable;
                            r.virtual_hw = defaults.virtual_hw;
                        })
               ? kToolOk
               : kToolFailed;
}

int command_set(const Arguments& raw) {
    ToolArgs args;
    std::string dir;
    BenchSettings settings;
    if (!parse_tool_args(raw, {}, args) || !take_existing_bench(args, 2, "set", dir)) {
        return kToolUsage;
    }
    if (!load_settings(dir, settings)) {
        return kToolFailed;
    }
    const std::string& key = args.positionals[0];
    switch (apply_setting(settings, key, args.positionals[1])) {
        case FieldResult::kOk:
            return save_settings(dir, settings) ? kToolOk : kToolFailed;
        case FieldResult::kUnknownKey:
            std::fprintf(stderr, "cablebench: unknown setting \"%s\" (see --help)\n",
                         escape_text(key).c_str());
            return kToolUsage;
        case FieldResult::kBadValue:
            break;
    }
    std::fprintf(stderr, "cablebench: bad value \"%s\" for %s\n",
                 escape_text(args.positionals[1]).c_str(), key.c_str());
    return kToolUsage;
}

int command_unset(const Arguments& raw) {
    ToolArgs args;
    std::string dir;
    BenchSettings settings;
    if (!parse_tool_args(raw, {}, args) || !take_existing_bench(args, 1, "unset", dir)) {
        return kToolUsage;
    }
    if (!load_settings(dir, settings)) {
        return kToolFailed;
    }
    if (!reset_setting(settings, args.positionals[0])) {
        std::fprintf(stderr, "cablebench: unknown setting \"%s\" (see --help)\n",
                     escape_text(args.positionals[0]).c_str());
        return kToolUsage;
    }
    return save_settings(dir, settings) ? kToolOk : kToolFailed;
}

int command_show(const Arguments& raw) {
    ToolArgs args;
    std::string dir;
    BenchSettings settings;
    if (!parse_tool_args(raw, {}, args) || !take_existing_bench(args, 0, "show", dir)) {
        return kToolUsage;
    }
    if (!load_settings(dir, settings)) {
        return kToolFailed;
    }
    std::printf("Bench %s\n", dir.c_str());
    std::printf("  wait_scale_percent=%u server_after_attempts=%u programmer=%s\n",
                static_cast<unsigned>(settings.wait_scale_percent),
                static_cast<unsigned>(settings.server_after_attempts),
                format_programmer(settings.programmer).c_str());
    for (const LibraryMessage& message : settings.messages) {
        std::printf("  message level %u: \"%s\"\n", static_cast<unsigned>(message.level),
                    escape_text(message.text).c_str());
    }
    for (int id : list_cables(dir)) {
        CableRecord cable;
        LoadResult result = load_cable(dir, id, cable);
        if (result == LoadResult::kFailed) {
            return kToolFailed;
        }
        if (result == LoadResult::kLoaded) {
            show_cable(id, cable);
        }
    }
    return kToolOk;
}

int command_hold(const Arguments& raw) {
    ToolArgs args;
    std::string dir;
    std::uint32_t seconds = 0;
    if (!parse_tool_args(raw, {}, args) || !take_existing_bench(args, 2, "hold", dir)) {
        return kToolUsage;
    }
    if (!parse_number(args.positionals[1], seconds)) {
        std::fprintf(stderr, "cablebench: hold needs a number of seconds\n");
        return kToolUsage;
    }
    CableRecord cable;
    int id = 0;
    if (!find_named(dir, args.positionals[0], cable, id)) {
        return kToolFailed;
    }
    FileLock lock;
    LockAttempt attempt = try_lock_file(cable_lock_path(dir, id), lock);
    if (attempt == LockAttempt::kBusy) {
        std::fprintf(stderr, "cablebench: the chain of \"%s\" is locked already\n",
                     escape_text(cable.name).c_str());
    }
    if (attempt != LockAttempt::kAcquired) {
        return kToolFailed;
    }
    // Tests wait for this line before they rely on the lock being held.
    std::printf("Holding the chain of \"%s\" for %u s\n", escape_text(cable.name).c_str(),
                static_cast<unsigned>(seconds));
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    unlock_file(lock);
    return kToolOk;
}

int command_make_pof(const Arguments& raw) {
    std::vector<OptionSpec> specs = kFieldOptions;
    specs.push_back({"--serial-format", true});
    ToolArgs args;
    if (!parse_tool_args(raw, specs, args)) {
        return kToolUsage;
    }
    if (args.positionals.size() != 1) {
        std::fprintf(stderr, "cablebench: make-pof takes one file name (see --help)\n");
        return kToolUsage;
    }
    RomFields fields;
    fields.zan_version = 2;
    fields.serial = "A-####";
    if (!read_rom_fields(args, "--serial-format", fields)) {
        return kToolUsage;
    }
    PofRecipe recipe;
    recipe.image = make_rom(fields);
    const std::string& path = args.positionals[0];
    if (!write_file(path, build_pof(recipe))) {
        std::fprintf(stderr, "cablebench: cannot write %s\n", path.c_str());
        return kToolFailed;
    }
    return kToolOk;
}
