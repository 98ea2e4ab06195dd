#include "driver/station.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cable/error_name.h"
#include "cable/linkhub_client.h"
#include "cable/terminal.h"
#include "common/message.h"
#include "driver/reconcile.h"
#include "driver/station_process.h"
#include "driver/station_report.h"
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

std::string whole_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The bytes a run has added to its file since `offset`, which moves past them.
std::string new_bytes(const std::string& path, std::uintmax_t& offset) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return "";
    }
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    offset += bytes.size();
    return bytes;
}

// text's lines without their ends; a last line without one counts too.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
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

// One run in flight.
struct Running {
    std::size_t cable = 0;  // its index among the cables
    StationChild child;
    std::string out_path;
    std::string err_path;
    std::uintmax_t err_read = 0;
    std::string pending;  // the start of a message line not yet ended
    bool interrupted = false;
};

bool ended_well(StationOutcome outcome) {
    return outcome == StationOutcome::kUpdated || outcome == StationOutcome::kInitialised ||
           outcome == StationOutcome::kUpToDate;
}

std::vector<std::string> run_command(const std::string& program, const StationCable& cable,
                                     const Options& options, const std::string& file,
                                     const RunLog& log) {
    std::vector<std::string> argv{program, "--cable", cable.name};
    if (options.force) {
        argv.push_back("--force");
    }
    if (options.debug) {
        argv.push_back("--debug");
    }
    if (options.log) {
        argv.insert(argv.end(), {"--log", fs::absolute(*options.log).string(), "--batch", log.run});
    }
    argv.push_back(file);
    return argv;
}

// On a terminal, one line per cable kept current in place, in place of the runs' lines.
struct View {
    bool on = false;
    std::size_t columns = 80;
    std::size_t drawn = 0;  // lines drawn last time, which the next drawing goes back over
    std::vector<std::string> phases;
};

void draw(View& view, const std::vector<StationCable>& cables,
          const std::vector<std::string>& phases) {
    if (!view.on || (phases == view.phases && view.drawn > 0)) {
        return;
    }
    std::string text = view.drawn > 0 ? "\x1b[" + std::to_string(view.drawn) + "A" : "";
    for (std::size_t i = 0; i < cables.size(); ++i) {
        text += "\r\x1b[K" + view_line(cables[i], phases[i].c_str(), view.columns) + "\n";
    }
    std::fputs(text.c_str(), stderr);
    view.drawn = cables.size();
    view.phases = phases;
}

// Starts the runs, at most `limit` at once, passes their message lines on and collects their
// ends. An interrupt is passed on to every run in flight, and no run starts after it.
void run_cables(std::vector<StationCable>& cables, const Options& options, const RunLog& log,
                const std::string& program, const std::string& folder, std::size_t limit,
                View& view) {
    const std::string file = fs::absolute(*options.file).string();
    std::vector<std::size_t> queue;
    for (std::size_t i = 0; i < cables.size(); ++i) {
        if (cables[i].to_program) {
            queue.push_back(i);
        }
    }
    std::vector<Running> running;
    std::size_t next = 0;
    std::vector<std::string> phases;
    for (const StationCable& cable : cables) {
        phases.push_back(cable.to_program ? "waiting" : outcome_text(cable.outcome));
    }
    bool interrupt_seen = false;
    while (true) {
        if (interrupt_requested() && !interrupt_seen) {
            // The acknowledgement went below the view: draw it again below that.
            interrupt_seen = true;
            view.drawn = 0;
        }
        for (Running& run : running) {
            if (interrupt_requested() && !run.interrupted) {
                interrupt_station_child(run.child);
                run.interrupted = true;
            }
        }
        while (!interrupt_requested() && running.size() < limit && next < queue.size()) {
            Running run;
            run.cable = queue[next++];
            const std::string stem = folder + "/" + std::to_string(run.cable);
            run.out_path = stem + ".out";
            run.err_path = stem + ".err";
            StationCable& cable = cables[run.cable];
            if (start_station_child(run_command(program, cable, options, file, log), run.out_path,
                                    run.err_path, run.child)) {
                running.push_back(run);
            } else {
                cable.outcome = StationOutcome::kFailed;
                cable.reasons = {"Unable to start " + program};
            }
        }
        for (std::size_t i = 0; i < running.size();) {
            Running& run = running[i];
            const std::string& name = cables[run.cable].name;
            const std::string lines =
                prefixed_lines(name, run.pending, new_bytes(run.err_path, run.err_read), false);
            StationChildEnd end;
            const bool ended_now = station_child_ended(run.child, end);
            if (view.on) {
                phases[run.cable] = run_phase(whole_file(run.err_path), whole_file(run.out_path));
            } else {
                put_message(lines.c_str());
            }
            if (!ended_now) {
                ++i;
                continue;
            }
            const std::string last =
                prefixed_lines(name, run.pending, new_bytes(run.err_path, run.err_read), true);
            if (!view.on) {
                put_message(last.c_str());
            }
            RunEnd ended;
            ended.signalled = end.signalled;
            ended.by_interrupt = end.signalled && end.interrupt_signal && run.interrupted;
            ended.exit_status = end.exit_status;
            ended.messages = whole_file(run.err_path);
            StationCable& cable = cables[run.cable];
            cable.outcome = run_outcome(cable, ended);
            if (!ended.signalled) {
                cable.status = ended.exit_status;
            }
            cable.messages = lines_of(ended.messages);
            cable.zan_after.reset();
            if (ended_well(cable.outcome)) {
                cable.zan_after = cable.file_version;
            } else {
                // The whole output of a run that did not end well, shown at the end.
                cable.reasons = lines_of(whole_file(run.out_path));
                cable.reasons.insert(cable.reasons.end(), cable.messages.begin(),
                                     cable.messages.end());
            }
            phases[run.cable] = outcome_text(cable.outcome);
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
        }
        draw(view, cables, phases);
        if (running.empty() && (next == queue.size() || interrupt_requested())) {
            break;
        }
        station_nap();
    }
    // Cables whose run never started were not touched.
    for (; next < queue.size(); ++next) {
        cables[queue[next]].outcome = StationOutcome::kInterrupted;
        phases[queue[next]] = outcome_text(StationOutcome::kInterrupted);
    }
    draw(view, cables, phases);
}

}  // namespace

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
    if (!station_supported()) {
        put_message("Option --all is not available on this system yet\n");
        return kStatusFailed;
    }
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
        const std::size_t limit =
            options.jobs ? static_cast<std::size_t>(job_limit(*options.jobs)) : runs;
        View view;
        view.on = stderr_is_terminal();
        view.columns = terminal_columns();
        set_interrupt_acknowledgement(kStationAcknowledgement);
        arm_interrupt_guard();
        run_cables(cables, options, log, program, folder, limit, view);
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
