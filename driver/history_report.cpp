#include "driver/history_report.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <unordered_map>
#include <vector>

#include "common/exit_status.h"
#include "common/message.h"
#include "driver/cable_report.h"
#include "driver/json_text.h"
#include "driver/ledger.h"
#include "handoff/std_streams.h"

namespace {

constexpr std::size_t kReportPieceSize = 1 << 20;

// One run as its start and end records tell it.
struct RunRow {
    std::optional<std::string> time;
    std::optional<std::string> cable;
    std::optional<std::string> action;
    std::optional<std::string> serial_before;
    std::optional<std::string> serial_after;
    std::optional<std::string> serial_taken;  // from the range, for a run that may not have ended
    std::optional<long long> zan_before;
    std::optional<long long> zan_after;
    std::optional<std::string> file;
    std::optional<std::string> outcome;  // none: it did not finish
    bool nothing_written = false;        // its end says the programmer never started
};

template <typename T>
void fill(std::optional<T>& field, const std::optional<T>& value) {
    if (!field && value) {
        field = value;
    }
}

std::optional<std::string> known(const std::optional<std::string>& text) {
    return text && !text->empty() ? text : std::nullopt;
}

// After, else before, else the one a run took for its blank cable, unless that lapsed because
// nothing was written.
std::optional<std::string> serial_of(const RunRow& row) {
    if (row.serial_after || row.serial_before) {
        return row.serial_after ? row.serial_after : row.serial_before;
    }
    return row.nothing_written ? std::nullopt : row.serial_taken;
}

// A row stays one line, and nothing from the history moves the cursor.
std::string text_or_dash(const std::optional<std::string>& text) {
    return text ? visible_text(*text) : "-";
}

std::string number_or_dash(const std::optional<long long>& number) {
    return number ? std::to_string(*number) : "-";
}

std::string json_text_or_null(const std::optional<std::string>& text) {
    return text ? json_string(*text) : "null";
}

std::string json_number_or_null(const std::optional<long long>& number) {
    return number ? std::to_string(*number) : "null";
}

bool wanted(const RunRow& row, const Options& options) {
    if (options.cable && row.cable != options.cable) {
        return false;
    }
    return !options.serial || row.serial_before == options.serial ||
           row.serial_after == options.serial || serial_of(row) == options.serial;
}

// The runs as their records come in, keyed by run id.
struct RunRows {
    std::vector<RunRow> rows;
    std::unordered_map<std::string, std::size_t> row_of;
};

void note_run(RunRows& runs, const HistoryRecord& r) {
    if (r.kind == "serial") {
        // A station's serial records name its cables; its own row has none.
        auto taker = runs.row_of.find(r.run);
        if (taker != runs.row_of.end() && runs.rows[taker->second].cable == r.cable && r.cable) {
            runs.rows[taker->second].serial_taken = r.serial;
        }
        return;
    }
    auto [at, added] = runs.row_of.try_emplace(r.run, runs.rows.size());
    if (added) {
        runs.rows.emplace_back();
    }
    RunRow& row = runs.rows[at->second];
    fill(row.cable, r.cable);
    if (r.kind == "start") {
        row.time = r.time;
        row.action = r.action;
        row.serial_before = known(r.serial);
        row.zan_before = r.zan_version;
        row.file = r.file;
    } else {
        fill(row.time, r.time);
        row.serial_after = known(r.serial_after);
        row.zan_after = r.zan_version_after;
        row.outcome = r.outcome ? r.outcome : std::optional<std::string>("-");
        row.nothing_written = r.programmer_started == false;
    }
}

// The rows (or the JSON document) and the notes on cables whose last run did not finish.
void render_report(RunRows& runs, const Options& options, std::string& out, std::string& notes) {
    std::vector<RunRow>& rows = runs.rows;
    // Times are recorded as "YYYY-MM-DDThh:mm:ss.mmmZ", so their text order is their time order.
    std::stable_sort(rows.begin(), rows.end(), [](const RunRow& a, const RunRow& b) {
        return a.time.value_or("") < b.time.value_or("");
    });
    std::vector<const RunRow*> shown;
    for (const RunRow& row : rows) {
        if (wanted(row, options)) {
            shown.push_back(&row);
        }
    }
    out = options.json ? "{\"runs\":[" : "";
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const RunRow& row = *shown[i];
        const std::string outcome = row.outcome.value_or("did not finish");
        if (options.json) {
            out += std::string(i > 0 ? "," : "") + "{\"time\":" + json_text_or_null(row.time) +
                   ",\"cable\":" + json_text_or_null(row.cable) +
                   ",\"action\":" + json_text_or_null(row.action) +
                   ",\"serial\":" + json_text_or_null(serial_of(row)) +
                   ",\"zan_before\":" + json_number_or_null(row.zan_before) +
                   ",\"zan_after\":" + json_number_or_null(row.zan_after) +
                   ",\"file\":" + json_text_or_null(row.file) +
                   ",\"outcome\":" + json_string(outcome) + "}";
        } else {
            out += text_or_dash(row.time) + "  " + text_or_dash(row.cable) + "  " +
                   text_or_dash(row.action) + "  " + text_or_dash(serial_of(row)) + "  ZAN " +
                   number_or_dash(row.zan_before) + " -> " + number_or_dash(row.zan_after) + "  " +
                   text_or_dash(row.file) + "  " + outcome + "\n";
        }
    }
    if (options.json) {
        out += "]}\n";
    }
    // A cable's latest run of all decides whether it may still be in select mode; only the
    // cables of the rows shown are named.
    std::unordered_map<std::string, const RunRow*> latest;
    for (const RunRow& row : rows) {
        if (row.cable) {
            latest[*row.cable] = &row;
        }
    }
    std::vector<std::string> cables;
    for (const RunRow* row : shown) {
        if (row->cable && std::find(cables.begin(), cables.end(), *row->cable) == cables.end()) {
            cables.push_back(*row->cable);
        }
    }
    notes.clear();
    for (const std::string& cable : cables) {
        if (!latest[cable]->outcome) {
            notes += "Cable " + visible_text(cable) +
                     ": its last run did not finish; it may still be in select mode: run "
                     "cablewright --cable \"" +
                     visible_text(cable) + "\" --leave-select-mode\n";
        }
    }
}

}  // namespace

std::size_t history_report_text(const std::string& history, const Options& options,
                                std::string& out, std::string& notes) {
    RunRows runs;
    RecordLines lines;
    auto note = [&runs](const HistoryRecord& r) { note_run(runs, r); };
    feed_records(lines, history.data(), history.size(), note);
    finish_records(lines, note);
    render_report(runs, options, out, notes);
    return lines.skipped;
}

int report_history(const Options& options) {
    const std::string& path = *options.history;
    RunRows runs;
    RecordLines lines;
    auto note = [&runs](const HistoryRecord& r) { note_run(runs, r); };
    // Only a regular file: a FIFO or a device would block or never end.
    std::error_code error;
    std::FILE* in =
        std::filesystem::is_regular_file(path, error) ? std::fopen(path.c_str(), "rb") : nullptr;
    std::vector<char> piece(in != nullptr ? kReportPieceSize : 0);
    for (std::size_t got = 1; in != nullptr && got > 0;) {
        got = std::fread(piece.data(), 1, piece.size(), in);
        feed_records(lines, piece.data(), got, note);
    }
    const bool read = in != nullptr && std::ferror(in) == 0;
    if (in != nullptr) {
        std::fclose(in);
    }
    if (!read) {
        print_message("Unable to open log %s\n", path.c_str());
        return kStatusFailed;
    }
    finish_records(lines, note);
    std::string out;
    std::string notes;
    render_report(runs, options, out, notes);
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (!standard_output_written()) {
        return kStatusFailed;
    }
    put_message(notes.c_str());
    if (lines.skipped > 0) {
        print_message("Skipped %llu lines of %s that are not records\n",
                      static_cast<unsigned long long>(lines.skipped), path.c_str());
    }
    return kStatusDone;
}
