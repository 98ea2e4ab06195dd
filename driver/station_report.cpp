#include "driver/station_report.h"

#include "driver/json_text.h"

namespace {

// How many cables ended in each outcome that occurred, in the outcomes' order.
std::vector<std::pair<StationOutcome, std::size_t>> outcome_counts(
    const std::vector<StationCable>& cables) {
    std::vector<std::pair<StationOutcome, std::size_t>> counts;
    for (int o = 0; o <= static_cast<int>(StationOutcome::kInUse); ++o) {
        const auto outcome = static_cast<StationOutcome>(o);
        std::size_t n = 0;
        for (const StationCable& cable : cables) {
            n += cable.outcome == outcome ? 1 : 0;
        }
        if (n > 0) {
            counts.emplace_back(outcome, n);
        }
    }
    return counts;
}

}  // namespace

const char* outcome_text(StationOutcome outcome) {
    switch (outcome) {
        case StationOutcome::kUpdated:
            return "updated";
        case StationOutcome::kInitialised:
            return "initialised";
        case StationOutcome::kWouldUpdate:
            return "would update";
        case StationOutcome::kWouldInitialise:
            return "would initialise";
        case StationOutcome::kUpToDate:
            return "up to date";
        case StationOutcome::kRefused:
            return "refused";
        case StationOutcome::kFailed:
            break;
        case StationOutcome::kInterrupted:
            return "interrupted";
        case StationOutcome::kNeedsJumpers:
            return "needs jumpers";
        case StationOutcome::kInUse:
            return "in use";
    }
    return "failed";
}

std::string prefixed_lines(const std::string& name, std::string& pending, const std::string& bytes,
                           bool ended) {
    pending += bytes;
    std::string lines;
    std::size_t start = 0;
    for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
        // A run on Windows ends its lines as the C runtime writes text: "\r\n". Passed on
        // as they are, they would reach the user with the '\r' doubled.
        const std::size_t text_end = end > start && pending[end - 1] == '\r' ? end - 1 : end;
        lines += name + ": " + pending.substr(start, text_end - start) + "\n";
    }
    pending.erase(0, start);
    if (ended && !pending.empty()) {
        lines += name + ": " + pending + "\n";
        pending.clear();
    }
    return lines;
}

std::string station_row(const StationCable& cable) {
    auto number = [](const std::optional<unsigned>& n) {
        return n ? std::to_string(*n) : std::string("-");
    };
    return cable.name + ": serial " + cable.serial.value_or("-") + ", ZAN " +
           number(cable.zan_before) + " -> " + number(cable.zan_after) + ", " +
           outcome_text(cable.outcome) + "\n";
}

std::string count_line(const std::vector<StationCable>& cables) {
    std::string line;
    for (const auto& [outcome, n] : outcome_counts(cables)) {
        line += (line.empty() ? "" : ", ") + std::to_string(n) + " " + outcome_text(outcome);
    }
    return line + "\n";
}

std::string counts_json(const std::vector<StationCable>& cables) {
    std::string counts;
    for (const auto& [outcome, n] : outcome_counts(cables)) {
        counts += (counts.empty() ? "" : ",") + json_string(outcome_text(outcome)) + ":" +
                  std::to_string(n);
    }
    return "{" + counts + "}";
}

std::string station_json(const std::vector<StationCable>& cables, const std::string& run,
                         const std::string& file) {
    auto number = [](const auto& n) { return n ? std::to_string(*n) : std::string("null"); };
    std::string document = "{\"station\":{\"run\":" + json_string(run) +
                           ",\"file\":" + json_string(file) +
                           "},\"counts\":" + counts_json(cables) + ",\"cables\":[";
    for (std::size_t i = 0; i < cables.size(); ++i) {
        const StationCable& cable = cables[i];
        std::string messages;
        for (const std::string& line : cable.messages) {
            messages += (messages.empty() ? "" : ",") + json_string(line);
        }
        document += std::string(i == 0 ? "\n" : ",\n") + "{\"name\":" + json_string(cable.name) +
                    ",\"serial\":" + (cable.serial ? json_string(*cable.serial) : "null") +
                    ",\"zan_before\":" + number(cable.zan_before) +
                    ",\"zan_after\":" + number(cable.zan_after) +
                    ",\"outcome\":" + json_string(outcome_text(cable.outcome)) +
                    ",\"status\":" + number(cable.status) + ",\"messages\":[" + messages + "]}";
    }
    return document + (cables.empty() ? "" : "\n") + "]}\n";
}

const char* run_phase(const std::string& messages, const std::string& output) {
    const std::size_t command = messages.find("\nvantor_pgm ");
    if (command != std::string::npos) {
        // A line after the command line, or the programmer's last words, mean it has ended.
        const std::size_t after = messages.find('\n', command + 1);
        const bool ended = (after != std::string::npos && after + 1 < messages.size()) ||
                           output.find("Programming successful") != std::string::npos;
        return ended ? "checking" : "programming";
    }
    return messages.find("POF ZAN_version=") != std::string::npos ? "select mode" : "reading";
}

std::string view_line(const StationCable& cable, const char* phase, std::size_t columns) {
    std::string line = station_row(cable);
    line.erase(line.size() - 1 - std::string(outcome_text(cable.outcome)).size());
    line += phase;
    if (line.size() >= columns && columns > 0) {
        line.erase(columns - 1);
    }
    return line;
}
