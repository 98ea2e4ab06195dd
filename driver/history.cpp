#include "driver/history.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>

#include "common/message.h"
#include "driver/cable_report.h"
#include "driver/help.h"
#include "driver/history_file.h"
#include "driver/json_text.h"
#include "driver/reconcile.h"

namespace {

std::int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::uint64_t mix(std::uint64_t x) {
    // splitmix64's finaliser: every input bit reaches every output bit.
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

}  // namespace

// Random where the system offers it, and mixed with the clock and the process id, so that runs
// on one machine at one moment still differ.
std::string new_run_id() {
    std::random_device random;
    std::uint64_t seed = (static_cast<std::uint64_t>(random()) << 32) ^ random();
    using namespace std::chrono;
    auto ticks =
        static_cast<std::uint64_t>(high_resolution_clock::now().time_since_epoch().count());
    std::uint64_t id = mix(seed ^ mix(ticks ^ (static_cast<std::uint64_t>(process_id()) << 40)));
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(id));
    return text;
}

namespace {

std::string optional_string(const std::string& text) {
    return text.empty() ? "null" : json_string(text);
}

std::string optional_rom(const std::optional<RomImage>& image) {
    return image ? "\"" + rom_hex(*image) + "\"" : "null";
}

const char* outcome_word(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::kDone:
            return "done";
        case RunOutcome::kRefused:
            return "refused";
        case RunOutcome::kFailed:
            break;
        case RunOutcome::kInterrupted:
            return "interrupted";
    }
    return "failed";
}

// The "batch" member after "run", only in the records of a run that belongs to a station.
std::string batch_field(const RunLog& log) {
    return log.batch ? ",\"batch\":" + json_string(*log.batch) : "";
}

std::string json_array(const std::vector<std::string>& texts) {
    std::string array = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        array += (i > 0 ? "," : "") + json_string(texts[i]);
    }
    return array + "]";
}

// The identity as the run judges it: decoded after the fix-ups.
std::string rom_fields(const RomImage* rom) {
    if (rom == nullptr) {
        return ",\"rom\":null,\"zan_version\":null,\"hardware_id\":null,\"serial\":null,"
               "\"product_name\":null,\"signature\":null";
    }
    CableState state = examine_cable(*rom);
    return ",\"rom\":\"" + rom_hex(*rom) + "\",\"zan_version\":" + std::to_string(state.version) +
           ",\"hardware_id\":" + std::to_string(state.hardware_id) +
           ",\"serial\":" + json_string(rom_text(state.image, kSerialOffset, kSerialSize)) +
           ",\"product_name\":" + json_string(rom_text(state.image, kProductOffset, kProductSize)) +
           ",\"signature\":" + (has_signature(state.image) ? "true" : "false");
}

// The identity as the run ended: read back, else as read when nothing was written; unknown once
// the programmer ran and nothing was read back.
std::string identity_after(const RunLog& log) {
    const std::optional<RomImage>& rom =
        log.read_back || log.programmer_started ? log.read_back : log.as_read;
    if (!rom) {
        return ",\"serial_after\":null,\"zan_version_after\":null,\"hardware_id_after\":null";
    }
    CableState state = examine_cable(*rom);
    return ",\"serial_after\":" + json_string(rom_text(state.image, kSerialOffset, kSerialSize)) +
           ",\"zan_version_after\":" + std::to_string(state.version) +
           ",\"hardware_id_after\":" + std::to_string(state.hardware_id);
}

std::string file_fields(const std::string* path, const PofImage* pof) {
    if (path == nullptr || pof == nullptr || pof->crc_pos == kNoPosition) {
        return ",\"file\":null";
    }
    // The checksum stored in the file, little-endian, which names the file's content.
    unsigned stored = pof->bytes[pof->crc_pos] | (pof->bytes[pof->crc_pos + 1] << 8);
    char crc[5];
    std::snprintf(crc, sizeof crc, "%04X", stored);
    std::error_code error;
    const std::string absolute = std::filesystem::absolute(*path, error).string();
    return ",\"file\":{\"path\":" + json_string(*path) +
           ",\"absolute_path\":" + (error ? "null" : json_string(absolute)) +
           ",\"size\":" + std::to_string(pof->length) + ",\"crc\":\"" + crc + "\"}";
}

// Appends one record; closes the history when that failed, so nothing more is tried.
bool append(RunLog& log, const std::string& record) {
    if (lock_history_file(log.file, kHistoryLockTimeoutMs, log.interrupted)) {
        const bool appended = append_history_line(log.file, record + "\n");
        unlock_history_file(log.file);
        if (appended) {
            return true;
        }
    }
    keep_messages(nullptr);
    print_message("Unable to write log %s\n", log.path.c_str());
    close_history_file(log.file);
    log.file = nullptr;
    return false;
}

std::string working_folder() {
    std::error_code error;
    const std::string folder = std::filesystem::current_path(error).string();
    return error ? "null" : json_string(folder);
}

}  // namespace

std::string serial_record(const RunLog& log, const std::string& cable, const std::string& serial) {
    return "{\"record\":\"serial\",\"run\":\"" + log.run + "\"" + batch_field(log) +
           ",\"time\":\"" + utc_time_text(now_ms()) + "\",\"cable\":" + json_string(cable) +
           ",\"serial\":" + json_string(serial) + "}\n";
}

std::string utc_time_text(std::int64_t ms_since_epoch) {
    // The milliseconds count forward from the second before, also before 1970.
    std::int64_t ms = ms_since_epoch % 1000;
    std::int64_t seconds = ms_since_epoch / 1000;
    if (ms < 0) {
        ms += 1000;
        --seconds;
    }
    std::tm calendar{};
    char text[64];
    if (!utc_calendar_time(seconds, calendar) ||
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &calendar) == 0) {
        return "";
    }
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03dZ", static_cast<int>(ms));
    return std::string(text) + fraction;
}

bool open_run_log(RunLog& log, const std::string& path, int argc, const char* const* argv,
                  bool (*interrupted)()) {
    log = RunLog{};
    log.path = path;
    log.file = open_history_file(path);
    if (log.file == nullptr) {
        print_message("Unable to open log %s\n", path.c_str());
        return false;
    }
    log.run = new_run_id();
    log.interrupted = interrupted;
    for (int i = 0; i < argc; ++i) {
        log.argv.push_back(argv[i] != nullptr ? argv[i] : "");
    }
    keep_messages(&log.messages, OutsideLine{interrupted, kInterruptAcknowledgement});
    return true;
}

bool log_start(RunLog& log, const char* action, const RomImage* rom, const std::string* file_path,
               const PofImage* pof) {
    if (log.file == nullptr) {
        return true;
    }
    if (rom != nullptr) {
        log.as_read = *rom;
    }
    std::string record =
        "{\"record\":\"start\",\"run\":\"" + log.run + "\"" + batch_field(log) + ",\"time\":\"" +
        utc_time_text(now_ms()) + "\",\"host\":" + optional_string(host_name()) +
        ",\"user\":" + optional_string(user_name()) +
        ",\"version\":" + json_string(tool_version()) + ",\"pid\":" + std::to_string(process_id()) +
        ",\"argv\":" + json_array(log.argv) + ",\"cwd\":" + working_folder() +
        ",\"cable\":" + (log.cable ? json_string(*log.cable) : "null") +
        ",\"action\":" + json_string(action) + ",\"serial_requested\":" +
        (log.serial_requested ? json_string(*log.serial_requested) : "null") + rom_fields(rom) +
        file_fields(file_path, pof) + "}";
    return append(log, record);
}

int log_end(RunLog& log, int status, RunOutcome outcome) {
    if (log.file == nullptr) {
        return status;
    }
    keep_messages(nullptr);
    std::string record =
        "{\"record\":\"end\",\"run\":\"" + log.run + "\"" + batch_field(log) + ",\"time\":\"" +
        utc_time_text(now_ms()) + "\",\"pid\":" + std::to_string(process_id()) +
        ",\"cable\":" + (log.cable ? json_string(*log.cable) : "null") +
        ",\"merged\":" + optional_rom(log.merged) +
        ",\"read_back\":" + optional_rom(log.read_back) + ",\"status\":" + std::to_string(status) +
        ",\"outcome\":\"" + outcome_word(outcome) + "\",\"messages\":" + json_array(log.messages) +
        identity_after(log) +
        ",\"programmer_started\":" + (log.programmer_started ? "true" : "false") +
        (log.counts ? ",\"counts\":" + *log.counts : "") + "}";
    bool written = append(log, record);
    close_history_file(log.file);
    log.file = nullptr;
    return written || status != 0 ? status : kStatusFailed;
}
