// The history read back: its records as the serial ledger and the report need them, and the
// serials of a range that no record has taken.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
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

// Calls each(record) for every record of text, in order; returns how many lines were not
// records (empty lines are not counted).
template <typename Each>
std::size_t for_each_record(const std::string& text, Each each) {
    std::size_t skipped = 0;
    std::size_t at = 0;
    HistoryRecord record;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        const char* first = text.data() + at;
        const char* last = text.data() + end;
        if (last > first && last[-1] == '\r') {
            --last;
        }
        if (last > first) {
            if (read_history_record(first, last, record)) {
                each(record);
            } else {
                ++skipped;
            }
        }
        at = end + 1;
    }
    return skipped;
}

// The lowest `count` serials of range that the history text holds free, fewer when the range
// runs out. A serial is taken once any record names it, and free again only when the run that
// took it ended without starting the programmer. The range must fit format.
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
