#include "cable/cable_list.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cable/cable_operation.h"
#include "cable/cable_select.h"
#include "cable/error_name.h"
#include "common/message.h"
#include "image/rom_text.h"

namespace {

// A listing must not hang on a cable someone else is using: it says so and moves on.
constexpr std::uint32_t kListLockTimeoutMs = 250;
constexpr std::uint32_t kFindTimeoutMs = 6000;
constexpr std::uint32_t kNameCapacity = 512;

// Lock results that mean another program holds the chain.
constexpr HWL_ERROR kLockedAlready = 34;
constexpr HWL_ERROR kChainInUse = 36;
constexpr HWL_ERROR kHardwareInUse = 85;

bool in_family(const HWL_HARDWARE& record) {
    return record.usable != 0 && record.virtual_hw == 0;
}

ListedCable read_cable(const HWL_HARDWARE& record, int number, const std::string& name) {
    ListedCable cable;
    cable.number = number;
    cable.name = name;
    cable.updatable = in_family(record);
    HWL_ERROR locked = hwl_lock_chain(record.chain, kListLockTimeoutMs);
    if (locked != HWL_OK) {
        bool busy = locked == kLockedAlready || locked == kChainInUse || locked == kHardwareInUse;
        cable.kind = busy ? ListedKind::kInUse : ListedKind::kError;
        cable.error = locked;
        return cable;
    }
    char value[kRomTextLength];
    std::uint32_t length = kRomTextLength;
    HWL_ERROR result = hwl_get_parameter(record.chain, "InternalEepromContents", value, &length, 0);
    hwl_unlock_chain(record.chain);
    if (result != HWL_OK) {
        cable.error = result;
    } else if (rom_from_text(value, length, cable.rom)) {
        cable.kind = ListedKind::kRom;
    } else {
        cable.kind = ListedKind::kUnreadable;
    }
    return cable;
}

// The printed name of a record; false with the code when the library gives none.
bool record_name(const HWL_HARDWARE& record, std::string& name, HWL_ERROR& error) {
    // One more than the capacity, so that a name filling all 512 bytes is still terminated.
    char buffer[kNameCapacity + 1] = {};
    error = hwl_print_hardware_name(record.chain, buffer, kNameCapacity);
    buffer[kNameCapacity] = '\0';
    name = error == HWL_OK ? buffer : "";
    return error == HWL_OK;
}

// Finds `name` with the messages of a failed lookup; false after them.
bool find_named(const std::string& name, HWL_HARDWARE& record) {
    HWL_ERROR found = hwl_find_hardware(name.c_str(), &record, kFindTimeoutMs);
    if (found == HWL_OK) {
        return true;
    }
    if (found == HWL_NO_SUCH_HARDWARE) {
        print_message("Unable to find jtag cable \"%s\"\n", name.c_str());
    } else {
        print_message("Error (%s) when scanning hardware\n", error_name(found));
    }
    return false;
}

}  // namespace

int list_attached_cables(std::vector<ListedCable>& cables) {
    std::vector<HWL_HARDWARE> list;
    if (!scan_records(list)) {
        return kCableNotFound;
    }
    const std::size_t records = list.size();
    std::vector<ListedCable> found;
    for (std::size_t j = 0; j < records; ++j) {
        const HWL_HARDWARE& record = list[j];
        if (!in_family(record)) {
            continue;
        }
        int number = static_cast<int>(j) + 1;
        std::string name;
        HWL_ERROR named = HWL_OK;
        if (record_name(record, name, named)) {
            found.push_back(read_cable(record, number, name));
        } else {
            ListedCable nameless;
            nameless.number = number;
            nameless.updatable = true;
            nameless.error = named;
            found.push_back(nameless);
        }
    }
    if (found.empty()) {
        put_message("No suitable cables available\n");
        return kCableNotFound;
    }
    cables = std::move(found);
    return kCableOk;
}

int list_named_cable(const std::string& name, std::vector<ListedCable>& cables) {
    HWL_HARDWARE record{};
    if (!find_named(name, record)) {
        return kCableNotFound;
    }
    cables.assign(1, read_cable(record, 1, name));
    return kCableOk;
}

bool offered_for_update(const std::string& name) {
    HWL_HARDWARE record{};
    return hwl_find_hardware(name.c_str(), &record, kFindTimeoutMs) == HWL_OK && in_family(record);
}
