#include "driver/station_runs.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/message.h"
#include "driver/station_process.h"
#include "driver/station_report.h"
#include "handoff/interrupt.h"

// The same on every system: the folder with everything in it.
void remove_station_folder(const std::string& path) {
    std::error_code error;
    std::filesystem::remove_all(path, error);
}

namespace {

namespace fs = std::filesystem;

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

// text's lines without their ends ("\n", or "\r\n" from a run on Windows); a last line without
// one counts too.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::size_t text_end = end > start && text[end - 1] == '\r' ? end - 1 : end;
        lines.push_back(text.substr(start, text_end - start));
        start = end + 1;
    }
    return lines;
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
    if (cable.serial_given) {
        argv.insert(argv.end(), {"--serial", *cable.serial_given});
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

}  // namespace

void run_cables(std::vector<StationCable>& cables, const Options& options, const RunLog& log,
                const StationRuns& runs) {
    const std::string& program = runs.program;
    const std::string& folder = runs.folder;
    View view;
    view.on = runs.terminal;
    view.columns = runs.columns;
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
        while (!interrupt_requested() && running.size() < runs.limit && next < queue.size()) {
            Running run;
            run.cable = queue[next++];
            const std::string stem = folder + "/" + std::to_string(run.cable);
            run.out_path = stem + ".out";
            run.err_path = stem + ".err";
            StationCable& cable = cables[run.cable];
            if (start_station_child(run_command(program, cable, options, file, log), run.out_path,
                                    run.err_path, run.child)) {
                cable.run_started = true;
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
