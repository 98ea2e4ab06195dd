#include "driver/station.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "cable/error_name.h"
#include "cable/linkhub_client.h"
#include "cable/terminal.h"
#include "common/message.h"
#include "driver/reconcile.h"
#include "driver/station_process.h"
#include "driver/station_report.h"
#include "driver/station_runs.h"
#include "handoff/interrupt.h"

namespace {

namespace fs = std::filesystem;

// Cables with this hardware id need a person at the cable to move its jumpers.
constexpr std::uint16_t kJumperHardwareId = 1;

constexpr char kStationAcknowledgement[] =
    "Stopping safely: every cable is returned to normal mode first";

// What a run that found its cable's host-wide lock held says.
constexpr char kLockRefusal[] = "is being updated by another cablewright run";

std::string with_name(const char* format, const std::string& name) {
    std::string text;
    for (const char* p = format; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            text += name;
            ++p;
        } else {
            text += *p;
        }
    }
    return text;
}

std::string last_line(const std::string& text) {
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r')) {
        --end;
    }
    const std::size_t start = text.rfind('\n', end == 0 ? 0 : end - 1);
    return text.substr(start == std::string::npos ? 0 : start + 1,
                       end - (start == std::string::npos ? 0 : start + 1));
}

// A copy to merge one cable's identity into, leaving the file as loaded for the next.
PofImage copy_of(const PofImage& file) {
    PofImage copy;
    copy.bytes = std::make_unique<std::uint8_t[]>(file.length);
    std::copy(file.bytes.get(), file.bytes.get() + file.length, copy.bytes.get());
    copy.length = file.length;
    copy.rom_data = file.rom_data;
    copy.earlier_rom_data = file.earlier_rom_data;
    copy.crc_pos = file.crc_pos;
    copy.image = file.image;
    return copy;
}

}  // namespace

bool ended_well(StationOutcome outcome) {
    return outcome == StationOutcome::kUpdated || outcome == StationOutcome::kInitialised ||
           outcome == StationOutcome::kUpToDate;
}

StationCable judge_cable(const ListedCable& listed, const PofImage& file, bool force) {
    StationCable cable;
    cable.name = listed.name;
    cable.file_version = zan_version(file.image);
    switch (listed.kind) {
        case ListedKind::kRom:
            break;
        case ListedKind::kInUse:
            cable.outcome = StationOutcome::kInUse;
            cable.reasons = {with_name("Cable %s is in use by another program", listed.name)};
            return cable;
        case ListedKind::kUnreadable:
        case ListedKind::kError:
            cable.outcome = StationOutcome::kFailed;
            cable.reasons = {with_name("Unable to read the ROM of cable %s", listed.name)};
            return cable;
    }
    CableState state = examine_cable(listed.rom);
    cable.blank = state.blank;
    if (!state.blank) {
        cable.zan_before = state.version;
        const std::string serial = rom_text(state.image, kSerialOffset, kSerialSize);
        if (!serial.empty()) {
            cable.serial = serial;
        }
    }
    PofImage merged = copy_of(file);
    Reconciliation decision = reconcile(&state, &merged, nullptr, force, &cable.reasons);
    // The first line describes the file, the same for every cable; the rest is the reason.
    if (!cable.reasons.empty()) {
        cable.reasons.erase(cable.reasons.begin());
    }
    if (!decision.reprogram) {
        cable.outcome = decision.not_newer ? StationOutcome::kUpToDate : StationOutcome::kRefused;
        if (decision.not_newer) {
            cable.zan_after = cable.zan_before;
        }
        return cable;
    }
    if (decision.hardware_id == kJumperHardwareId) {
        cable.outcome = StationOutcome::kNeedsJumpers;
        cable.reasons = {with_name(
            "Cable %s needs its daughter-card jumpers moved by a person: update it alone with "
            "cablewright --cable \"%s\"",
            listed.name)};
        return cable;
    }
    cable.to_program = true;
    cable.zan_after = cable.file_version;
    cable.outcome = state.blank ? StationOutcome::kWouldInitialise : StationOutcome::kWouldUpdate;
    return cable;
}

StationOutcome run_outcome(const StationCable& cable, const RunEnd& end) {
    if (end.by_interrupt) {
        return StationOutcome::kInterrupted;
    }
    if (end.signalled) {
        return StationOutcome::kFailed;
    }
    if (end.exit_status == kStatusDone) {
        return cable.blank ? StationOutcome::kInitialised : StationOutcome::kUpdated;
    }
    if (end.exit_status == kStatusFailed) {
        if (last_line(end.messages) == "Interrupted") {
            return StationOutcome::kInterrupted;
        }
        if (end.messages.find(kLockRefusal) != std::string::npos) {
            return StationOutcome::kInUse;
        }
    }
    return StationOutcome::kFailed;
}

int station_status(const std::vector<StationCable>& cables, bool dry_run) {
    for (const StationCable& cable : cables) {
        const bool good = ended_well(cable.outcome) ||
                          (dry_run && (cable.outcome == StationOutcome::kWouldUpdate ||
                                       cable.outcome == StationOutcome::kWouldInitialise ||
                                       cable.outcome == StationOutcome::kInterrupted));
        if (!good) {
            return kStatusFailed;
        }
    }
    return kStatusDone;
}

int run_station(const Options& options, const char* argv0, RunLog& log) {
    // Standard output is the station's rows: the library speaks on standard error.
    hwl_register_output_callback(print_library_message_on_stderr, nullptr);
    // The file once, before any cable is touched.
    PofImage pof;
    if (!load_pof(options.file->c_str(), pof)) {
        return kStatusFailed;
    }
    std::vector<ListedCable> listed;
    const int found = list_attached_cables(listed);
    if (found != kStatusDone) {
        return found;
    }
    std::vector<StationCable> cables;
    std::size_t runs = 0;
    for (const ListedCable& one : listed) {
        cables.push_back(judge_cable(one, pof, options.force));
        cables.back().messages = cables.back().reasons;
        runs += cables.back().to_program ? 1 : 0;
    }
    const std::string file_path = fs::absolute(*options.file).string();
    if (!log_start(log, "station", nullptr, &file_path, &pof)) {
        return kStatusFailed;
    }
    bool interrupted = false;
    if (!options.dry_run && runs > 0) {
        const std::string program = own_program_path(argv0);
        const std::string folder = make_station_folder();
        if (program.empty() || folder.empty()) {
            put_message("Unable to start the runs of the station\n");
            remove_station_folder(folder);
            return log_end(log, kStatusFailed, RunOutcome::kFailed);
        }
        StationRuns station_runs;
        station_runs.program = program;
        station_runs.folder = folder;
        station_runs.limit =
            options.jobs ? static_cast<std::size_t>(job_limit(*options.jobs)) : runs;
        station_runs.terminal = stderr_is_terminal();
        station_runs.columns = terminal_columns();
        set_interrupt_acknowledgement(kStationAcknowledgement);
        arm_interrupt_guard();
        run_cables(cables, options, log, station_runs);
        interrupted = interrupt_requested();
        finish_interrupt_guard();
        remove_station_folder(folder);
    }
    for (const StationCable& cable : cables) {
        if (!ended_well(cable.outcome)) {
            std::string pending;
            for (const std::string& line : cable.reasons) {
                put_message(prefixed_lines(cable.name, pending, line + "\n", true).c_str());
            }
        }
    }
    if (options.json) {
        const std::string run = log.run.empty() ? new_run_id() : log.run;
        std::fputs(station_json(cables, run, file_path).c_str(), stdout);
    } else {
        for (const StationCable& cable : cables) {
            std::fputs(station_row(cable).c_str(), stdout);
        }
        std::fputs(count_line(cables).c_str(), stdout);
    }
    log.counts = counts_json(cables);
    if (interrupted) {
        log_end(log, kStatusFailed, RunOutcome::kInterrupted);
        put_message("Interrupted\n");
        return kStatusFailed;
    }
    const int status = station_status(cables, options.dry_run);
    return log_end(log, status, status == kStatusDone ? RunOutcome::kDone : RunOutcome::kFailed);
}
