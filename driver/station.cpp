#include "driver/station.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "cable/error_name.h"
#include "cable/linkhub_client.h"
#include "cable/terminal.h"
#include "common/message.h"
#include "driver/ledger.h"
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

StationCable judge_cable(const ListedCable& listed, const PofImage& file, bool force,
                         const char* serial) {
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
        const std::string own = rom_text(state.image, kSerialOffset, kSerialSize);
        if (!own.empty()) {
            cable.serial = own;
        }
    }
    PofImage merged = copy_of(file);
    Reconciliation decision = reconcile(&state, &merged, serial, force, &cable.reasons);
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

namespace {

// The blank cables that a serial would let through get one each from the range, all in one hold
// of the history, and are judged again with it; a dry run only looks. False when the history
// failed.
bool give_serials(std::vector<StationCable>& cables, const std::vector<ListedCable>& listed,
                  const PofImage& pof, const Options& options, RunLog& log) {
    // Any serial of the file's format tells which blank cables a serial would let through.
    std::string stand_in = rom_text(pof.image, kSerialOffset, kSerialSize);
    std::replace(stand_in.begin(), stand_in.end(), '#', '0');
    std::vector<std::size_t> blank;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < cables.size(); ++i) {
        if (cables[i].blank && cables[i].outcome == StationOutcome::kRefused &&
            judge_cable(listed[i], pof, options.force, stand_in.c_str()).to_program) {
            blank.push_back(i);
            names.push_back(cables[i].name);
        }
    }
    if (blank.empty()) {
        return true;
    }
    std::vector<std::string> serials;
    std::string shortfall;
    if (!take_serials(log, *options.serials, pof.image, names, !options.dry_run, serials,
                      shortfall)) {
        return false;
    }
    for (std::size_t k = 0; k < blank.size(); ++k) {
        StationCable& cable = cables[blank[k]];
        if (k >= serials.size()) {
            cable.reasons = {shortfall};
        } else {
            cable = judge_cable(listed[blank[k]], pof, options.force, serials[k].c_str());
            cable.serial = cable.serial_given = serials[k];
        }
        cable.messages = cable.reasons;
    }
    return true;
}

}  // namespace

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
    if (!log_start(log, "station", nullptr, &*options.file, &pof)) {
        return kStatusFailed;
    }
    if (options.serials && !give_serials(cables, listed, pof, options, log)) {
        return log_end(log, kStatusFailed, RunOutcome::kFailed);
    }
    runs = static_cast<std::size_t>(std::count_if(
        cables.begin(), cables.end(), [](const StationCable& c) { return c.to_program; }));
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
        station_runs.terminal = stderr_is_terminal() && begin_terminal_view();
        station_runs.columns = terminal_columns();
        set_interrupt_acknowledgement(kStationAcknowledgement);
        arm_interrupt_guard();
        run_cables(cables, options, log, station_runs);
        if (station_runs.terminal) {
            end_terminal_view();
        }
        interrupted = interrupt_requested();
        finish_interrupt_guard();
        // Serials the station took lapse only when none of its runs was started.
        log.programmer_started = std::any_of(cables.begin(), cables.end(),
                                             [](const StationCable& c) { return c.run_started; });
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
