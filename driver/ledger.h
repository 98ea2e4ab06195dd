// The history read back: its records as the serial ledger and the report need them, and the
// serials of a range that no record has taken.
#pragma once

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "driver/serial_range.h"
#include "image/rom_image.h"

struct RunLog;

// One line of the history, with the members that the ledger and the report read.
struct HistoryRecord {
    std::string kind;  // "start", "end" or "serial"
    std::string run;
    std::optional<std::string> batch;
    std::optional<std::string> time;
    std::optional<std::string> cable;
    std::optional<std::string> action;
    std::optional<std::string> serial;  // start: the cable's; serial: the one taken
    std::optional<std::string>
        serial_requested;                     // start: typed with --serial, or given by a station
    std::optional<std::string> serial_after;  // end
    std::optional<std::string> file;          // start: the file's path as given
    std::optional<std::string> outcome;       // end
    std::optional<long long> zan_version;     // start
    std::optional<long long> zan_version_after;  // end
    std::optional<bool> programmer_started;      // end
};

// Reads one line (without its line end); false when it is not one whole record of ours: a torn
// line, or one someone added.
bool read_history_record(const char* begin, const char* end, HistoryRecord& record);

// A history read in pieces of any size: whole lines are read as records as they complete.
struct RecordLines {
    std::string pending;      // the start of a line whose end has not come yet
    std::size_t skipped = 0;  // lines that were not records (empty lines are not counted)
    HistoryRecord record;
};

// Reads one line of text (without its line end) into lines.record; false when it is not a
// record, which counts it as skipped. Empty lines are passed over.
inline bool read_line(RecordLines& lines, const char* first, const char* last) {
    if (last > first && last[-1] == '\r') {
        --last;
    }
    if (last == first) {
        return false;
    }
    if (!read_history_record(first, last, lines.record)) {
        ++lines.skipped;
        return false;
    }
    return true;
}

// Calls each(record) for every line that the piece completes.
template <typename Each>
void feed_records(RecordLines& lines, const char* data, std::size_t size, Each each) {
    const char* end = data + size;
    while (data < end) {
        const char* stop = static_cast<const char*>(std::memchr(data, '\n', end - data));
        if (stop == nullptr) {
            lines.pending.append(data, end);
            return;
        }
        bool read = false;
        if (lines.pending.empty()) {
            read = read_line(lines, data, stop);
        } else {
            lines.pending.append(data, stop);
            read =
                read_line(lines, lines.pending.data(), lines.pending.data() + lines.pending.size());
            lines.pending.clear();
        }
        if (read) {
            each(lines.record);
        }
        data = stop + 1;
    }
}

// The last line, when the history does not end with a line end.
template <typename Each>
void finish_records(RecordLines& lines, Each each) {
    if (read_line(lines, lines.pending.data(), lines.pending.data() + lines.pending.size())) {
        each(lines.record);
    }
    lines.pending.clear();
}

// Who holds which serials, as the records tell it.
struct SerialLedger {
    struct Claim {
        std::string run;
        std::string serial;
        bool by_serial_record;
    };
    std::unordered_set<std::string> held;  // on a cable: taken for good
    std::vector<Claim> claims;             // lapse when the claiming run wrote nothing
    std::unordered_map<std::string, std::pair<std::string, std::string>>
        given;  // run: batch, serial
    std::unordered_set<std::string> unwritten_runs;
    std::unordered_set<std::string> unwritten_batch_serials;  // batch + '\n' + serial
};

// Takes one record into the ledger.
void note_record(SerialLedger& ledger, const HistoryRecord& record);

// The lowest `count` serials of range that the ledger holds free, fewer when the range runs out.
// A serial is taken once any record names it, and free again only when the run that took it
// ended without starting the programmer. The range must fit format.
std::vector<std::string> lowest_free(const SerialLedger& ledger, const SerialRange& range,
                                     const std::string& format, std::size_t count);

// lowest_free for a whole history's text.
std::vector<std::string> free_serials(const std::string& history, const SerialRange& range,
                                      const std::string& format, std::size_t count);

// Takes the lowest free serials of the range given as range_text (FIRST..LAST) for the cables,
// one each in their order, in one hold of the history's lock, and (unless `record` is false: a
// dry run) appends a serial record for each before any cable is touched. Cables left without one
// get the reason in `shortfall` (the range does not fit the format of file_image, or none is
// left). False after the history's own message when it could not be read or written: then
// nothing was taken.
bool take_serials(RunLog& log, const std::string& range_text, const RomImage& file_image,
                  const std::vector<std::string>& cables, bool record,
                  std::vector<std::string>& serials, std::string& shortfall);
