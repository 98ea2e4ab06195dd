#include "cable/cable_operation.h"

#include <cstdio>
#include <cstring>

#include "cable/error_name.h"
#include "cable/linkhub_client.h"
#include "common/message.h"
#include "image/rom_text.h"

namespace {

constexpr std::uint32_t kFindTimeoutMs = 6000;
constexpr std::uint32_t kLockTimeoutMs = 10000;
constexpr std::uint32_t kModeSettleMs = 3000;

// False, with the message printed, when the ROM could not be read into `image`.
bool read_rom(HWL_CHAIN chain, RomImage& image) {
    // The library never terminates the value: only `length` characters are looked at.
    char value[kRomTextLength];
    std::uint32_t length = kRomTextLength;
    HWL_ERROR result = hwl_get_parameter(chain, "InternalEepromContents", value, &length, 0);
    if (result == HWL_OK && rom_from_text(value, length, image)) {
        return true;
    }
    // A value in an unknown form arrives with result 0, whose text is empty: "Error ()".
    print_message("Error (%s) when reading EEPROM contents\n", error_name(result));
    return false;
}

}  // namespace

int operate_cable(const char* name, CableStep step, RomImage* rom_out, SettlePause pause) {
    if (name == nullptr) {
        name = "";
    }
    HWL_HARDWARE hardware{};
    HWL_ERROR found = hwl_find_hardware(name, &hardware, kFindTimeoutMs);
    if (found == HWL_NO_SUCH_HARDWARE) {
        print_message("Unable to find jtag cable \"%s\"\n", name);
        return kCableNotFound;
    }
    if (found != HWL_OK) {
        print_message("Error (%s) when scanning hardware\n", error_name(found));
        return kCableNotFound;
    }

    HWL_CHAIN chain = hardware.chain;
    HWL_ERROR locked = hwl_lock_chain(chain, kLockTimeoutMs);
    if (locked != HWL_OK) {
        print_message("Error (%s) when locking chain\n", error_name(locked));
        return kCableFailed;
    }

    bool failed = false;
    if (step == CableStep::kReadRom) {
        failed = rom_out == nullptr || !read_rom(chain, *rom_out);
    } else {
        const bool select = step == CableStep::kEnterSelectMode;
        HWL_ERROR set = hwl_set_parameter(chain, "InternalZanSelect", select ? 1 : 0);
        if (set == HWL_OK) {
            // The cable needs time to switch over; nobody else may use it meanwhile.
            pause(kModeSettleMs, step);
        } else {
            print_message("Error (%s) when setting zan mode\n", error_name(set));
            failed = true;
        }
    }

    hwl_unlock_chain(chain);
    return failed ? kCableFailed : kCableOk;
}

int read_cable_rom(const char* name, RomImage& rom) {
    // A read never switches, so it never pauses.
    return operate_cable(name, CableStep::kReadRom, &rom, nullptr);
}
