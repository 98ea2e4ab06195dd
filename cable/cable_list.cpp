#include "cable/cable_list.h"

#include <algorithm>

#include "cable/cable_read.h"
#include "cable/cable_select.h"
#include "common/exit_status.h"
#include "common/message.h"

namespace {

// A listing must not hang on cables someone else is using: it says so and moves on. The lock
// waits of one listing share this budget, so that many busy cables still list within the time
// the bash completion gives it; once it is spent, cables are tried without waiting.
constexpr std::uint32_t kListLockBudgetMs = 1000;

// Reads one cable, waiting for its lock at most what is left of `budget_ms`, which it spends.
ListedCable read_cable(const HWL_HARDWARE& record, int number, const std::string& name,
                       std::uint32_t& budget_ms) {
    ListedCable cable;
    cable.number = number;
    cable.name = name;
    cable.updatable = in_family(record);
    RomReading reading = read_rom_under_lock(record.chain, budget_ms, RomQuery::kWhole, cable.rom);
    budget_ms -= std::min(budget_ms, reading.lock_wait_ms);
    if (reading.locked != HWL_OK) {
        cable.kind = chain_in_use(reading.locked) ? ListedKind::kInUse : ListedKind::kError;
        cable.error = reading.locked;
    } else if (reading.read != HWL_OK) {
        cable.error = reading.read;
    } else {
        cable.kind = reading.decoded ? ListedKind::kRom : ListedKind::kUnreadable;
    }
    return cable;
}

}  // namespace

int list_attached_cables(std::vector<ListedCable>& cables) {
    std::vector<HWL_HARDWARE> list;
    if (!scan_records(list)) {
        return kStatusNoCable;
    }
    const std::size_t records = list.size();
    std::vector<ListedCable> found;
    std::uint32_t budget_ms = kListLockBudgetMs;
    for (std::size_t j = 0; j < records; ++j) {
        const HWL_HARDWARE& record = list[j];
        if (!in_family(record)) {
            continue;
        }
        int number = static_cast<int>(j) + 1;
        std::string name;
        HWL_ERROR named = read_cable_name(record.chain, name);
        if (named == HWL_OK) {
            found.push_back(read_cable(record, number, name, budget_ms));
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
        return kStatusNoCable;
    }
    cables = std::move(found);
    return kStatusDone;
}

int list_named_cable(const std::string& name, std::vector<ListedCable>& cables) {
    HWL_HARDWARE record{};
    if (!find_named_cable(name.c_str(), record)) {
        return kStatusNoCable;
    }
    std::uint32_t budget_ms = kListLockBudgetMs;
    cables.assign(1, read_cable(record, 1, name, budget_ms));
    return kStatusDone;
}

bool offered_for_update(const std::string& name) {
    HWL_HARDWARE record{};
    return hwl_find_hardware(name.c_str(), &record, kFindTimeoutMs) == HWL_OK && in_family(record);
}
