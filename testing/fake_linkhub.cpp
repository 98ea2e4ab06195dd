// The fake defines the library's functions, so it is built as the library would be.
#define LINKHUB_CLIENT_BUILD 1

#include "testing/fake_linkhub.h"
#include "testing/rom_images.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

// The chain handles the fake hands out: one fixed object per cable, never dereferenced by the
// code under test.
struct hwl_chain_s {
    int unused;
};

namespace {

constexpr std::size_t kMaxCables = 64;
constexpr unsigned char kRecordJunk = 0xA5;
// A hex digit: a reader that ignores the reported length takes the junk for ROM bytes.
constexpr char kValueJunk = '7';
constexpr char kNameJunk = '#';

hwl_chain_s g_chains[kMaxCables];

FakeLinkhub& state() {
    static FakeLinkhub fake;
    return fake;
}

// The cable behind `chain`, or null for a handle the fake never gave out.
FakeCable* cable_of(HWL_CHAIN chain) {
    FakeLinkhub& fake = state();
    for (std::size_t i = 0; i < fake.cables.size() && i < kMaxCables; ++i) {
        if (chain == &g_chains[i]) {
            return &fake.cables[i];
        }
    }
    return nullptr;
}

std::string name_of(HWL_CHAIN chain) {
    FakeCable* cable = cable_of(chain);
    return cable != nullptr ? cable->name : "?";
}

void fill_record(std::size_t index, HWL_HARDWARE& record) {
    const FakeCable& cable = state().cables[index];
    std::memset(&record, kRecordJunk, sizeof record);
    record.chain = &g_chains[index];
    record.usable = cable.usable;
    record.virtual_hw = cable.virtual_hw;
}

void note(const std::string& line) {
    state().log.push_back(line);
}

}  // namespace

FakeLinkhub& fake_linkhub() {
    return state();
}

void reset_fake_linkhub() {
    state() = FakeLinkhub{};
}

void fake_linkhub_note(const std::string& line) {
    note(line);
}

std::string fake_rom_text(std::uint8_t first, std::uint8_t step) {
    return hex_of(stepped_image(first, step));
}

int fake_locked_chains() {
    const std::vector<FakeCable>& cables = state().cables;
    return static_cast<int>(
        std::count_if(cables.begin(), cables.end(), [](const FakeCable& c) { return c.locked; }));
}

extern "C" {

void hwl_register_output_callback(HWL_OUTPUT_CALLBACK callback, void* /*context*/) {
    state().callback = callback;
}

HWL_ERROR hwl_get_hardware(uint32_t* count, HWL_HARDWARE* list, uint32_t timeout_ms) {
    FakeLinkhub& fake = state();
    uint32_t capacity = *count;
    note("get_hardware " + std::to_string(capacity) + " " + std::to_string(timeout_ms));
    ListReply reply;
    if (fake.list_calls < fake.list_script.size()) {
        reply = fake.list_script[fake.list_calls];
    }
    ++fake.list_calls;
    switch (reply.kind) {
        case ListReply::kTimeout:
            *count = 0;
            return HWL_TIMEOUT;
        case ListReply::kFail:
            if (reply.code == HWL_LIST_TOO_SMALL) {
                *count = reply.count;
            }
            return reply.code;
        case ListReply::kAnswer:
            break;
    }
    std::size_t present = std::min(fake.cables.size(), kMaxCables);
    *count = static_cast<uint32_t>(present);
    if (capacity < present) {
        return HWL_LIST_TOO_SMALL;
    }
    for (std::size_t i = 0; i < capacity; ++i) {
        if (i < present) {
            fill_record(i, list[i]);
        } else {
            std::memset(&list[i], kRecordJunk, sizeof list[i]);
        }
    }
    return HWL_OK;
}

HWL_ERROR hwl_find_hardware(const char* name, HWL_HARDWARE* hardware, uint32_t timeout_ms) {
    FakeLinkhub& fake = state();
    note("find " + std::string(name) + " " + std::to_string(timeout_ms));
    for (std::size_t i = 0; i < fake.cables.size() && i < kMaxCables; ++i) {
        if (fake.cables[i].name == name) {
            if (fake.cables[i].find_result != HWL_OK) {
                return fake.cables[i].find_result;
            }
            fill_record(i, *hardware);
            return HWL_OK;
        }
    }
    return HWL_NO_SUCH_HARDWARE;
}

HWL_ERROR hwl_print_hardware_name(HWL_CHAIN chain, char* buffer, uint32_t capacity) {
    note("print_name " + name_of(chain) + " " + std::to_string(capacity));
    FakeCable* cable = cable_of(chain);
    if (cable == nullptr) {
        return HWL_INVALID_CHAIN;
    }
    if (cable->name_result != HWL_OK) {
        std::memset(buffer, kNameJunk, capacity);
        return cable->name_result;
    }
    // A name that fills the capacity arrives without a terminator.
    std::size_t length = std::min<std::size_t>(cable->name.size(), capacity);
    std::memcpy(buffer, cable->name.data(), length);
    if (length < capacity) {
        buffer[length] = '\0';
        std::memset(buffer + length + 1, kNameJunk, capacity - length - 1);
    }
    return HWL_OK;
}

HWL_ERROR hwl_lock_chain(HWL_CHAIN chain, uint32_t timeout_ms) {
    note("lock " + name_of(chain) + " " + std::to_string(timeout_ms));
    FakeCable* cable = cable_of(chain);
    if (cable == nullptr) {
        return HWL_INVALID_CHAIN;
    }
    if (cable->lock_result != HWL_OK) {
        if (cable->busy_waits) {
            std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
        }
        return cable->lock_result;
    }
    if (cable->locked) {
        return HWL_LOCKED_ALREADY;
    }
    cable->locked = true;
    return HWL_OK;
}

HWL_ERROR hwl_unlock_chain(HWL_CHAIN chain) {
    note("unlock " + name_of(chain));
    FakeCable* cable = cable_of(chain);
    if (cable == nullptr) {
        return HWL_INVALID_CHAIN;
    }
    if (!cable->locked) {
        return HWL_NOT_LOCKED;
    }
    cable->locked = false;
    return HWL_OK;
}

HWL_ERROR hwl_get_parameter(HWL_CHAIN chain, const char* name, char* buffer, uint32_t* length,
                            uint32_t reserved) {
    uint32_t capacity = *length;
    note("get_parameter " + name_of(chain) + " " + name + " " + std::to_string(capacity));
    FakeCable* cable = cable_of(chain);
    if (cable == nullptr) {
        return HWL_INVALID_CHAIN;
    }
    if (!cable->locked) {
        return HWL_NOT_LOCKED;
    }
    if (cable->rom_result != HWL_OK) {
        return cable->rom_result;
    }
    if (std::strcmp(name, "InternalEepromContents") != 0 || reserved != 0) {
        return HWL_INVALID_PARAMETER;
    }
    // The value is cut to the capacity, never terminated, and followed by junk; the length
    // reports the whole value.
    std::size_t copied = std::min<std::size_t>(cable->rom_text.size(), capacity);
    std::memcpy(buffer, cable->rom_text.data(), copied);
    std::memset(buffer + copied, kValueJunk, capacity - copied);
    *length = static_cast<uint32_t>(cable->rom_text.size());
    return HWL_OK;
}

HWL_ERROR hwl_set_parameter(HWL_CHAIN chain, const char* name, uint32_t value) {
    note("set_parameter " + name_of(chain) + " " + name + " " + std::to_string(value));
    FakeCable* cable = cable_of(chain);
    if (cable == nullptr) {
        return HWL_INVALID_CHAIN;
    }
    if (!cable->locked) {
        return HWL_NOT_LOCKED;
    }
    if (cable->select_result != HWL_OK) {
        return cable->select_result;
    }
    if (std::strcmp(name, "InternalZanSelect") != 0) {
        return HWL_INVALID_PARAMETER;
    }
    cable->zan_select = value;
    return HWL_OK;
}

}  // extern "C"
