#include "cable/cable_operation.h"

#include <cstdio>
#include <cstring>

#include "cable/error_name.h"
#include "cable/linkhub_client.h"
#include "common/message.h"

namespace {

constexpr std::uint32_t kFindTimeoutMs = 6000;
constexpr std::uint32_t kLockTimeoutMs = 10000;
constexpr std::uint32_t kModeSettleMs = 3000;
constexpr char kBlankRomText[] = "empty";
constexpr std::uint32_t kBlankRomTextLength = sizeof kBlankRomText - 1;

// The value of one hexadecimal digit, or -1.
int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

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

bool rom_from_text(const char* text, std::uint32_t length, RomImage& image) {
    if (text == nullptr) {
        return false;
    }
    if (length == kBlankRomTextLength && std::memcmp(text, kBlankRomText, length) == 0) {
        image = RomImage{};
        return true;
    }
    if (length != kRomTextLength) {
        return false;
    }
    // Every pair must be two digits: a lenient reading would turn garbage into zero bytes, and
    // an all-zero image passes for a blank cable that would then lose its identity.
    RomImage decoded;
    for (std::size_t i = 0; i < kRomSize; ++i) {
        int high = hex_digit(text[2 * i]);
        int low = hex_digit(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        decoded.bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    image = decoded;
    return true;
}

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
