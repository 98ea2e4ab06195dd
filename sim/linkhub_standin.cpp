// The stand-in for the JTAG server's client library: every cable lives in the bench directory
// named by LINKHUB_BENCH (see bench.h). Strict on purpose: it honours capacities, never
// terminates parameter values, leaves junk behind them and in undefined record bytes, and
// refuses parameter calls on chains the caller has not locked.
//
// Waits are real: a list attempt with no server takes its whole timeout, a lock waits until its
// timeout. The bench setting wait_scale_percent shortens them; with no bench, the environment
// variable LINKHUB_WAIT_SCALE_PERCENT does.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cable/linkhub_client.h"
#include "sim/bench.h"
#include "sim/bench_format.h"
#include "sim/file_lock.h"

// One handle per cable and bench for the life of the library, so handles never dangle.
struct hwl_chain_s {
    std::string bench;
    int id = 0;
    FileLock lock;
};

namespace {

constexpr char kRomParameter[] = "InternalEepromContents";
constexpr char kSelectParameter[] = "InternalZanSelect";
constexpr char kBlankRomValue[] = "empty";
// Cable selection asks for the ROM with this capacity and relies on the answer: a ROM value
// that does not fit comes back cut to it rather than refused.
constexpr std::uint32_t kSelectionCapacity = 64;
constexpr std::uint8_t kRecordJunk = 0xA5;
constexpr char kTextJunk = '~';
constexpr std::uint32_t kDefaultScalePercent = 100;
constexpr auto kLockPoll = std::chrono::milliseconds(5);

// What one process has seen of one bench: list attempts so far, messages already sent.
struct BenchVisit {
    std::uint32_t list_attempts = 0;
    bool messages_sent = false;
};

std::mutex g_mutex;  // guards everything below
HWL_OUTPUT_CALLBACK g_callback = nullptr;
void* g_context = nullptr;
std::vector<std::unique_ptr<hwl_chain_s>> g_chains;
std::map<std::string, BenchVisit> g_visits;

hwl_chain_s* chain_for(const std::string& bench, int id) {
    std::lock_guard<std::mutex> guard(g_mutex);
    for (const auto& chain : g_chains) {
        if (chain->id == id && chain->bench == bench) {
            return chain.get();
        }
    }
    g_chains.push_back(std::make_unique<hwl_chain_s>());
    g_chains.back()->bench = bench;
    g_chains.back()->id = id;
    return g_chains.back().get();
}

// The handle's record, or null for a handle this library never gave out.
hwl_chain_s* known_chain(HWL_CHAIN handle) {
    std::lock_guard<std::mutex> guard(g_mutex);
    for (const auto& chain : g_chains) {
        if (chain.get() == handle) {
            return chain.get();
        }
    }
    return nullptr;
}

std::uint32_t environment_scale() {
    std::uint32_t percent = kDefaultScalePercent;
    const char* text = std::getenv("LINKHUB_WAIT_SCALE_PERCENT");
    if (text != nullptr && !parse_number(text, percent)) {
        percent = kDefaultScalePercent;
    }
    return percent;
}

void wait_scaled(std::uint32_t timeout_ms, std::uint32_t percent) {
    auto ms = static_cast<std::uint64_t>(timeout_ms) * percent / 100;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// What the library does while no server answers: use up the timeout, then report it.
HWL_ERROR no_server(std::uint32_t timeout_ms, std::uint32_t percent) {
    wait_scaled(timeout_ms, percent);
    return HWL_TIMEOUT;
}

// Sends the bench's messages the first time this process reaches the bench.
void send_messages_once(const std::string& bench, const BenchSettings& settings) {
    HWL_OUTPUT_CALLBACK callback;
    void* context;
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        BenchVisit& visit = g_visits[bench];
        if (visit.messages_sent) {
            return;
        }
        visit.messages_sent = true;
        callback = g_callback;
        context = g_context;
    }
    // Outside the mutex: the callback may call back into the library.
    for (const LibraryMessage& message : settings.messages) {
        if (callback != nullptr) {
            callback(context, message.level, message.text.c_str());
        }
    }
}

std::uint32_t next_list_attempt(const std::string& bench) {
    std::lock_guard<std::mutex> guard(g_mutex);
    return g_visits[bench].list_attempts++;
}

// Reaches the bench that stands for the server(s) of a list or find call: 2 after the call's
// timeout while there is none (or, for a list, while the server is set to answer later), and the
// library messages sent once it answers.
HWL_ERROR reach_server(std::uint32_t timeout_ms, bool is_list, std::string& bench,
                       BenchSettings& settings) {
    bench = bench_dir_from_environment();
    if (!bench_exists(bench)) {
        return no_server(timeout_ms, environment_scale());
    }
    if (!load_settings(bench, settings)) {
        return HWL_SERVER_ERROR;
    }
    if (is_list && next_list_attempt(bench) < settings.server_after_attempts) {
        return no_server(timeout_ms, settings.wait_scale_percent);
    }
    send_messages_once(bench, settings);
    return HWL_OK;
}

void fill_record(HWL_HARDWARE& record, hwl_chain_s* chain, const CableRecord& cable) {
    std::memset(&record, kRecordJunk, sizeof record);
    record.chain = chain;
    record.usable = cable.usable;
    record.virtual_hw = cable.virtual_hw;
}

// The forced result of one kind of call on a cable, 0 for none; a "once" fault is cleared in
// the bench as it fires, and one that waits counts its calls down in the bench.
HWL_ERROR forced(const std::string& bench, int id, const CableRecord& cable,
                 ForcedError CableFaults::*which) {
    const ForcedError& fault = cable.faults.*which;
    if (fault.code != 0 && fault.after > 0) {
        update_cable(bench, id, [which](CableRecord& r) {
            if ((r.faults.*which).after > 0) {
                (r.faults.*which).after -= 1;
            }
        });
        return HWL_OK;
    }
    if (fault.code != 0 && fault.once) {
        update_cable(bench, id, [which](CableRecord& r) { r.faults.*which = ForcedError{}; });
    }
    return fault.code;
}

// Loads the cable behind a handle. 33 for a foreign handle, 81 when the bench went away, 86
// when the cable did.
HWL_ERROR cable_of(HWL_CHAIN handle, hwl_chain_s*& chain, CableRecord& cable) {
    chain = known_chain(handle);
    if (chain == nullptr) {
        return HWL_INVALID_CHAIN;
    }
    if (!bench_exists(chain->bench)) {
        return HWL_COMMUNICATIONS_ERROR;
    }
    switch (load_cable(chain->bench, chain->id, cable)) {
        case LoadResult::kLoaded:
            return HWL_OK;
        case LoadResult::kMissing:
            return HWL_HARDWARE_NOT_ATTACHED;
        case LoadResult::kFailed:
            break;
    }
    return HWL_SERVER_ERROR;
}

// Copies value into buffer without a terminator and fills the rest of the capacity with junk.
void put_text(const std::string& value, char* buffer, std::uint32_t capacity) {
    std::memcpy(buffer, value.data(), value.size());
    std::memset(buffer + value.size(), kTextJunk, capacity - value.size());
}

}  // namespace

extern "C" {

HWL_API void hwl_register_output_callback(HWL_OUTPUT_CALLBACK callback, void* context) {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_callback = callback;
    g_context = context;
}

HWL_API HWL_ERROR hwl_get_hardware(uint32_t* count, HWL_HARDWARE* list, uint32_t timeout_ms) {
    if (count == nullptr || (*count > 0 && list == nullptr)) {
        return HWL_INVALID_PARAMETER;
    }
    std::string bench;
    BenchSettings settings;
    if (HWL_ERROR error = reach_server(timeout_ms, true, bench, settings)) {
        return error;
    }

    std::vector<std::pair<int, CableRecord>> cables;
    for (int id : list_cables(bench)) {
        CableRecord cable;
        LoadResult result = load_cable(bench, id, cable);
        if (result == LoadResult::kFailed) {
            return HWL_SERVER_ERROR;
        }
        if (result == LoadResult::kLoaded) {
            cables.emplace_back(id, cable);
        }
    }
    auto needed = static_cast<std::uint32_t>(cables.size());
    if (*count < needed) {
        *count = needed;
        return HWL_LIST_TOO_SMALL;
    }
    for (std::uint32_t i = 0; i < needed; ++i) {
        fill_record(list[i], chain_for(bench, cables[i].first), cables[i].second);
    }
    *count = needed;
    return HWL_OK;
}

HWL_API HWL_ERROR hwl_find_hardware(const char* name, HWL_HARDWARE* hardware, uint32_t timeout_ms) {
    if (name == nullptr || hardware == nullptr) {
        return HWL_INVALID_PARAMETER;
    }
    std::string bench;
    BenchSettings settings;
    if (HWL_ERROR error = reach_server(timeout_ms, false, bench, settings)) {
        return error;
    }
    CableRecord cable;
    int id = 0;
    switch (load_named_cable(bench, name, cable, &id)) {
        case LoadResult::kLoaded:
            break;
        case LoadResult::kMissing:
            return HWL_NO_SUCH_HARDWARE;
        case LoadResult::kFailed:
            return HWL_SERVER_ERROR;
    }
    if (HWL_ERROR fault = forced(bench, id, cable, &CableFaults::find)) {
        return fault;
    }
    fill_record(*hardware, chain_for(bench, id), cable);
    return HWL_OK;
}

HWL_API HWL_ERROR hwl_print_hardware_name(HWL_CHAIN handle, char* buffer, uint32_t capacity) {
    hwl_chain_s* chain;
    CableRecord cable;
    if (HWL_ERROR error = cable_of(handle, chain, cable)) {
        return error;
    }
    if (HWL_ERROR fault = forced(chain->bench, chain->id, cable, &CableFaults::name)) {
        return fault;
    }
    if (buffer == nullptr || cable.name.size() + 1 > capacity) {
        return HWL_INVALID_PARAMETER;
    }
    put_text(cable.name + '\0', buffer, capacity);
    return HWL_OK;
}

HWL_API HWL_ERROR hwl_lock_chain(HWL_CHAIN handle, uint32_t timeout_ms) {
    hwl_chain_s* chain;
    CableRecord cable;
    if (HWL_ERROR error = cable_of(handle, chain, cable)) {
        return error;
    }
    if (lock_held(chain->lock)) {
        return HWL_LOCKED_ALREADY;
    }
    if (HWL_ERROR fault = forced(chain->bench, chain->id, cable, &CableFaults::lock)) {
        return fault;
    }
    BenchSettings settings;
    if (!load_settings(chain->bench, settings)) {
        return HWL_SERVER_ERROR;
    }
    auto wait = std::chrono::milliseconds(static_cast<std::uint64_t>(timeout_ms) *
                                          settings.wait_scale_percent / 100);
    auto deadline = std::chrono::steady_clock::now() + wait;
    std::string path = cable_lock_path(chain->bench, chain->id);
    for (;;) {
        switch (try_lock_file(path, chain->lock)) {
            case LockAttempt::kAcquired:
                return HWL_OK;
            case LockAttempt::kFailed:
                return HWL_SERVER_ERROR;
            case LockAttempt::kBusy:
                break;
        }
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return HWL_CHAIN_IN_USE;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(kLockPoll, deadline - now));
    }
}

HWL_API HWL_ERROR hwl_unlock_chain(HWL_CHAIN handle) {
    hwl_chain_s* chain = known_chain(handle);
    if (chain == nullptr) {
        return HWL_INVALID_CHAIN;
    }
    if (!lock_held(chain->lock)) {
        return HWL_NOT_LOCKED;
    }
    unlock_file(chain->lock);
    return HWL_OK;
}

HWL_API HWL_ERROR hwl_get_parameter(HWL_CHAIN handle, const char* name, char* buffer,
                                    uint32_t* length, uint32_t reserved) {
    hwl_chain_s* chain;
    CableRecord cable;
    if (HWL_ERROR error = cable_of(handle, chain, cable)) {
        return error;
    }
    if (!lock_held(chain->lock)) {
        return HWL_NOT_LOCKED;
    }
    if (name == nullptr || length == nullptr || reserved != 0 ||
        std::strcmp(name, kRomParameter) != 0) {
        return HWL_INVALID_PARAMETER;
    }
    if (HWL_ERROR fault = forced(chain->bench, chain->id, cable, &CableFaults::rom_read)) {
        return fault;
    }
    std::string value = cable.faults.has_rom_reply ? cable.faults.rom_reply
                        : cable.rom_written        ? rom_to_hex(cable.rom)
                                                   : std::string(kBlankRomValue);
    std::uint32_t capacity = *length;
    if (value.size() > capacity && capacity == kSelectionCapacity) {
        value.resize(capacity);
    }
    if (value.size() > capacity || (capacity > 0 && buffer == nullptr)) {
        return HWL_INVALID_PARAMETER;
    }
    put_text(value, buffer, capacity);
    *length = static_cast<std::uint32_t>(value.size());
    return HWL_OK;
}

HWL_API HWL_ERROR hwl_set_parameter(HWL_CHAIN handle, const char* name, uint32_t value) {
    hwl_chain_s* chain;
    CableRecord cable;
    if (HWL_ERROR error = cable_of(handle, chain, cable)) {
        return error;
    }
    if (!lock_held(chain->lock)) {
        return HWL_NOT_LOCKED;
    }
    if (name == nullptr || std::strcmp(name, kSelectParameter) != 0 || value > 1) {
        return HWL_INVALID_PARAMETER;
    }
    if (HWL_ERROR fault = forced(chain->bench, chain->id, cable, &CableFaults::set_parameter)) {
        return fault;
    }
    if (!update_cable(chain->bench, chain->id,
                      [value](CableRecord& r) { r.select_mode = value == 1; })) {
        return HWL_SERVER_ERROR;
    }
    return HWL_OK;
}

}  // extern "C"
