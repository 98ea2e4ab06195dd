#include "cable/cable_operation.h"

#include "cable/cable_read.h"
#include "cable/error_name.h"
#include "common/message.h"

namespace {

constexpr std::uint32_t kModeSettleMs = 3000;

void report_lock_failure(HWL_ERROR locked) {
    print_message("Error (%s) when locking chain\n", error_name(locked));
}

int read_rom(HWL_CHAIN chain, RomImage& rom) {
    RomReading reading = read_rom_under_lock(chain, kLockTimeoutMs, RomQuery::kWhole, rom);
    if (reading.locked != HWL_OK) {
        report_lock_failure(reading.locked);
        return kStatusFailed;
    }
    if (!reading.decoded) {
        // A value in an unknown form arrives with result 0, whose text is empty: "Error ()".
        print_message("Error (%s) when reading EEPROM contents\n", error_name(reading.read));
        return kStatusFailed;
    }
    return kStatusDone;
}

// in_use, when given, takes a busy chain's lock failure instead of its message.
int switch_mode(HWL_CHAIN chain, CableStep step, SettlePause pause, bool* in_use) {
    HWL_ERROR locked = hwl_lock_chain(chain, kLockTimeoutMs);
    if (in_use != nullptr && chain_in_use(locked)) {
        *in_use = true;
        return kStatusFailed;
    }
    if (locked != HWL_OK) {
        report_lock_failure(locked);
        return kStatusFailed;
    }
    const bool select = step == CableStep::kEnterSelectMode;
    HWL_ERROR set = hwl_set_parameter(chain, "InternalZanSelect", select ? 1 : 0);
    if (set == HWL_OK) {
        // The cable needs time to switch over; nobody else may use it meanwhile.
        pause(kModeSettleMs, step);
    } else {
        print_message("Error (%s) when setting zan mode\n", error_name(set));
    }
    hwl_unlock_chain(chain);
    return set == HWL_OK ? kStatusDone : kStatusFailed;
}

}  // namespace

int operate_cable(const char* name, CableStep step, RomImage* rom_out, SettlePause pause) {
    HWL_HARDWARE hardware{};
    if (!find_named_cable(name == nullptr ? "" : name, hardware)) {
        return kStatusNoCable;
    }
    if (step != CableStep::kReadRom) {
        return switch_mode(hardware.chain, step, pause, nullptr);
    }
    return rom_out != nullptr ? read_rom(hardware.chain, *rom_out) : kStatusFailed;
}

int switch_unless_in_use(const char* name, CableStep step, SettlePause pause, bool& in_use) {
    in_use = false;
    HWL_HARDWARE hardware{};
    if (!find_named_cable(name, hardware)) {
        return kStatusNoCable;
    }
    return switch_mode(hardware.chain, step, pause, &in_use);
}

int read_cable_rom(const char* name, RomImage& rom) {
    // A read never switches, so it never pauses.
    return operate_cable(name, CableStep::kReadRom, &rom, nullptr);
}
