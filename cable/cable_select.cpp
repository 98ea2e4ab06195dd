#include "cable/cable_select.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "cable/cable_read.h"
#include "cable/error_name.h"
#include "common/message.h"

namespace {

constexpr std::uint32_t kScanAttempts = 80;
constexpr std::uint32_t kListTimeoutMs = 250;
constexpr std::uint32_t kRegrownListTimeoutMs = 0;

// The dot stands for attempt 2; the 19 spaces are filled by the dots of attempts 6 to 78, and
// the 20 backspaces put the cursor back just after the first dot.
constexpr char kProgressLine[] =
    "Connecting to server(s) [.                   ]"
    "\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b";
constexpr char kWipeLine[] = "\r                                              \r";

// One call of the library with the list's full size as capacity, so that a count the library
// left behind can never make it write past the list.
HWL_ERROR query_list(std::uint32_t& count, std::vector<HWL_HARDWARE>& list,
                     std::uint32_t timeout_ms) {
    count = static_cast<std::uint32_t>(list.size());
    return hwl_get_hardware(&count, list.empty() ? nullptr : list.data(), timeout_ms);
}

HWL_ERROR list_attempt(std::uint32_t& count, std::vector<HWL_HARDWARE>& list) {
    HWL_ERROR result = query_list(count, list, kListTimeoutMs);
    if (result != HWL_LIST_TOO_SMALL) {
        return result;
    }
    try {
        list.assign(count, HWL_HARDWARE{});
    } catch (const std::bad_alloc&) {
        // A count no memory can hold is reported like the library's own shortage.
        list.clear();
        count = 0;
        return HWL_OUT_OF_MEMORY;
    }
    return query_list(count, list, kRegrownListTimeoutMs);
}

void show_progress(std::uint32_t attempt) {
    if (attempt == 2) {
        std::fputs(kProgressLine, stderr);
    } else if (attempt > 2 && attempt % 4 == 2) {
        std::fputc('.', stderr);
    }
    std::fflush(stderr);
}

// True when the cable answers the ROM query; the value itself does not matter here.
bool answers_rom_query(HWL_CHAIN chain) {
    RomImage ignored;
    RomReading reading = read_rom_under_lock(chain, kLockTimeoutMs, RomQuery::kProbe, ignored);
    if (reading.locked != HWL_OK) {
        print_message("  Unable to lock chain (%s)\n\n", error_name(reading.locked));
        return false;
    }
    return reading.read == HWL_OK;
}

}  // namespace

HWL_ERROR scan_hardware(std::uint32_t& count, std::vector<HWL_HARDWARE>& list) {
    HWL_ERROR result = HWL_TIMEOUT;
    std::uint32_t attempt = 0;
    for (; attempt < kScanAttempts; ++attempt) {
        result = list_attempt(count, list);
        if (result != HWL_TIMEOUT) {
            break;
        }
        show_progress(attempt);
    }
    if (attempt >= 2) {
        std::fputs(kWipeLine, stderr);
        std::fflush(stderr);
    }
    return result;
}

bool scan_records(std::vector<HWL_HARDWARE>& records) {
    std::uint32_t count = 0;
    HWL_ERROR result = scan_hardware(count, records);
    if (result != HWL_OK && result != HWL_TIMEOUT) {
        print_message("Error (%s) when scanning hardware\n", error_name(result));
        return false;
    }
    // The library reports the count; the records it could fill are bounded by the list.
    records.resize(std::min<std::size_t>(count, records.size()));
    if (records.empty()) {
        print_message("No JTAG hardware available\n");
        return false;
    }
    return true;
}

bool select_cable(std::string& name) {
    std::vector<HWL_HARDWARE> list;
    if (!scan_records(list)) {
        return false;
    }
    const std::size_t records = list.size();

    std::string chosen_name;
    int found = 0;
    int chosen = -1;
    for (std::size_t j = 0; j < records; ++j) {
        const HWL_HARDWARE& record = list[j];
        if (!in_family(record) || !answers_rom_query(record.chain)) {
            continue;
        }
        if (found >= 1) {
            if (found == 1) {
                print_message("Multiple cables available, please use --cable to specify one\n");
            }
            print_message("%d) %s\n", chosen + 1, chosen_name.c_str());
        }
        HWL_ERROR named = read_cable_name(record.chain, chosen_name);
        if (named != HWL_OK) {
            // Without a name the cable cannot be handed on, and neither can a choice made so far.
            print_message("Error (%s) when reading cable name\n", error_name(named));
            return false;
        }
        chosen = static_cast<int>(j);
        ++found;
    }

    if (found > 1) {
        print_message("%d) %s\n", chosen + 1, chosen_name.c_str());
        return false;
    }
    if (found == 0) {
        print_message("No suitable cables available\n");
        return false;
    }
    name = chosen_name;
    return true;
}
