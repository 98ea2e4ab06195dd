#include "driver/front_door.h"

#include <cstdio>
#include <string>
#include <vector>

#include "cable/cable_list.h"
#include "cable/cable_operation.h"
#include "cable/cable_select.h"
#include "cable/error_name.h"
#include "cable/linkhub_client.h"
#include "common/message.h"
#include "driver/cable_report.h"
#include "driver/help.h"
#include "driver/reconcile.h"
#include "driver/reprogram.h"

namespace {

// When standard output carries a JSON document, nothing else may reach it.
void route_library_messages(bool json) {
    hwl_register_output_callback(json ? print_library_message_on_stderr : print_library_message,
                                 nullptr);
}

int list_cables(const Options& options, bool (*output_written)()) {
    route_library_messages(options.json);
    std::vector<ListedCable> cables;
    int status =
        options.cable ? list_named_cable(*options.cable, cables) : list_attached_cables(cables);
    if (options.json) {
        std::fputs(cables_json_document(cables).c_str(), stdout);
    } else {
        for (const ListedCable& cable : cables) {
            std::fputs(cable_list_line(cable).c_str(), stdout);
        }
    }
    // A listing that never arrived is no success; a failed one keeps its own status.
    return status == kStatusDone && !output_written() ? kStatusFailed : status;
}

// A show run whose standard output is one JSON document instead of the dumps; standard error
// reads as in a plain show run.
int show_cable_as_json(const Options& options, bool (*output_written)(), RunLog& log) {
    route_library_messages(true);
    std::vector<ListedCable> cables;
    std::string name;
    int status = kStatusDone;
    if (options.cable) {
        name = *options.cable;
    } else if (!select_cable(name)) {
        status = kStatusNoCable;
    }
    ListedCable cable;
    if (status == kStatusDone) {
        log.cable = name;
        print_message("Reprogramming cable %s\n", name.c_str());
        status = read_cable_rom(name.c_str(), cable.rom);
    }
    const bool read = status == kStatusDone;
    bool started = true;
    if (read) {
        print_cable_line(examine_cable(cable.rom));
        started = log_start(log, "show", &cable.rom, nullptr, nullptr);
        cable.name = name;
        cable.kind = ListedKind::kRom;
        // Selection only ever chooses a cable of this family.
        cable.updatable = !options.cable || offered_for_update(name);
        cables.push_back(cable);
    }
    std::fputs(cables_json_document(cables).c_str(), stdout);
    if (!started) {
        return kStatusFailed;
    }
    // The document is what the run is for: one that never arrived is a failed run.
    if (read && !output_written()) {
        status = kStatusFailed;
    }
    status = log_end(log, status, status == kStatusDone ? RunOutcome::kDone : RunOutcome::kFailed);
    if (status == kStatusDone) {
        put_message("Finished\n");
    }
    return status;
}

}  // namespace

bool answer_front_door(const Options& options, bool (*output_written)(), int& status,
                       RunLog* history) {
    RunLog none;
    if (options.help) {
        print_help();
        status = output_written() ? kStatusDone : kStatusFailed;
    } else if (options.version) {
        print_version();
        status = output_written() ? kStatusDone : kStatusFailed;
    } else if (options.list) {
        status = list_cables(options, output_written);
    } else if (options.json) {
        status = show_cable_as_json(options, output_written, history != nullptr ? *history : none);
    } else {
        return false;
    }
    return true;
}
