#include "cable/cable_read.h"

#include <chrono>

#include "cable/error_name.h"
#include "common/message.h"
#include "image/rom_text.h"

bool in_family(const HWL_HARDWARE& record) {
    return record.usable != 0 && record.virtual_hw == 0;
}

bool chain_in_use(HWL_ERROR locked) {
    return locked == HWL_LOCKED_ALREADY || locked == HWL_CHAIN_IN_USE ||
           locked == HWL_HARDWARE_IN_USE;
}

namespace {

constexpr std::uint32_t kProbeCapacity = 64;

}  // namespace

RomReading read_rom_under_lock(HWL_CHAIN chain, std::uint32_t lock_timeout_ms, RomQuery query,
                               RomImage& rom) {
    RomReading reading;
    const auto start = std::chrono::steady_clock::now();
    reading.locked = hwl_lock_chain(chain, lock_timeout_ms);
    reading.lock_wait_ms =
        static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::steady_clock::now() - start)
                                       .count());
    if (reading.locked != HWL_OK) {
        return reading;
    }
    // The library never terminates the value: only `length` characters are looked at.
    char value[kRomTextLength];
    std::uint32_t length = query == RomQuery::kWhole ? kRomTextLength : kProbeCapacity;
    reading.read = hwl_get_parameter(chain, "InternalEepromContents", value, &length, 0);
    hwl_unlock_chain(chain);
    reading.decoded =
        query == RomQuery::kWhole && reading.read == HWL_OK && rom_from_text(value, length, rom);
    return reading;
}

bool find_named_cable(const char* name, HWL_HARDWARE& record) {
    HWL_ERROR found = hwl_find_hardware(name, &record, kFindTimeoutMs);
    if (found == HWL_NO_SUCH_HARDWARE) {
        print_message("Unable to find jtag cable \"%s\"\n", name);
    } else if (found != HWL_OK) {
        print_message("Error (%s) when scanning hardware\n", error_name(found));
    }
    return found == HWL_OK;
}

HWL_ERROR read_cable_name(HWL_CHAIN chain, std::string& name) {
    // One more than the capacity, so that a name filling all 512 bytes is still terminated.
    char buffer[kNameCapacity + 1] = {};
    HWL_ERROR result = hwl_print_hardware_name(chain, buffer, kNameCapacity);
    buffer[kNameCapacity] = '\0';
    name = result == HWL_OK ? buffer : "";
    return result;
}
