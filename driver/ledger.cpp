#include "driver/ledger.h"

#include <cstdlib>
#include <cstring>

#include "common/message.h"
#include "driver/history.h"
#include "driver/history_file.h"
#include "driver/json_text.h"

namespace {

struct Cursor {
    const char* p;
    const char* end;
};

void skip_space(Cursor& c) {
    while (c.p < c.end && (*c.p == ' ' || *c.p == '\t' || *c.p == '\r' || *c.p == '\n')) {
        ++c.p;
    }
}

bool take(Cursor& c, char expected) {
    skip_space(c);
    if (c.p < c.end && *c.p == expected) {
        ++c.p;
        return true;
    }
    return false;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

bool read_hex4(Cursor& c, unsigned& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = c.p < c.end ? hex_value(*c.p++) : -1;
        if (digit < 0) {
            return false;
        }
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return true;
}

// The history writes every byte from 0x7F up as \u00XX, so below 0x100 a code is one byte again;
// above, as a JSON text written elsewhere means it, UTF-8.
void append_code(std::string& out, unsigned code) {
    if (code < 0x100) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// A string at c (its opening quote already taken); decoded into out, or only passed over when
// out is null, which is what most members of a record get.
bool read_string(Cursor& c, std::string* out) {
    while (c.p < c.end) {
        const char* stop = c.p;
        while (stop < c.end && *stop != '"' && *stop != '\\' &&
               static_cast<unsigned char>(*stop) >= 0x20) {
            ++stop;
        }
        if (out != nullptr) {
            out->append(c.p, stop);
        }
        c.p = stop;
        if (c.p == c.end || static_cast<unsigned char>(*c.p) < 0x20) {
            return false;
        }
        if (*c.p++ == '"') {
            return true;
        }
        if (c.p == c.end) {
            return false;
        }
        const char escape = *c.p++;
        static const char kFrom[] = "\"\\/bfnrt";
        static const char kTo[] = "\"\\/\b\f\n\r\t";
        if (const char* known = std::strchr(kFrom, escape); known != nullptr && escape != '\0') {
            if (out != nullptr) {
                *out += kTo[known - kFrom];
            }
            continue;
        }
        unsigned code = 0;
        if (escape != 'u' || !read_hex4(c, code)) {
            return false;
        }
        if (code >= 0xD800 && code < 0xDC00) {
            unsigned low = 0;
            if (c.end - c.p < 6 || c.p[0] != '\\' || c.p[1] != 'u') {
                return false;
            }
            c.p += 2;
            if (!read_hex4(c, low) || low < 0xDC00 || low >= 0xE000) {
                return false;
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        } else if (code >= 0xDC00 && code < 0xE000) {
            return false;
        }
        if (out != nullptr) {
            append_code(*out, code);
        }
    }
    return false;
}

// A number, true, false or null: its text; false for anything else.
bool read_word(Cursor& c, std::string& word) {
    const char* start = c.p;
    while (c.p < c.end &&
           (std::strchr("+-.0123456789eE", *c.p) != nullptr || (*c.p >= 'a' && *c.p <= 'z'))) {
        ++c.p;
    }
    word.assign(start, c.p);
    if (word == "true" || word == "false" || word == "null") {
        return true;
    }
    // A JSON number: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
    std::size_t i = !word.empty() && word[0] == '-' ? 1 : 0;
    auto digits = [&word, &i] {
        const std::size_t from = i;
        while (i < word.size() && word[i] >= '0' && word[i] <= '9') {
            ++i;
        }
        return i - from;
    };
    const std::size_t whole = digits();
    if (whole == 0 || (whole > 1 && word[i - whole] == '0')) {
        return false;
    }
    if (i < word.size() && word[i] == '.') {
        ++i;
        if (digits() == 0) {
            return false;
        }
    }
    if (i < word.size() && (word[i] == 'e' || word[i] == 'E')) {
        ++i;
        i += i < word.size() && (word[i] == '+' || word[i] == '-') ? 1 : 0;
        if (digits() == 0) {
            return false;
        }
    }
    return i == word.size();
}

bool skip_value(Cursor& c, int depth);

// The members of an object whose '{' was taken; member(key, cursor) reads or passes each value.
template <typename Member>
bool read_members(Cursor& c, Member member) {
    if (take(c, '}')) {
        return true;
    }
    std::string key;
    do {
        key.clear();
        if (!take(c, '"') || !read_string(c, &key) || !take(c, ':')) {
            return false;
        }
        skip_space(c);
        if (!member(key, c)) {
            return false;
        }
    } while (take(c, ','));
    return take(c, '}');
}

bool skip_value(Cursor& c, int depth) {
    skip_space(c);
    if (c.p == c.end || depth > 64) {
        return false;
    }
    if (*c.p == '"') {
        ++c.p;
        return read_string(c, nullptr);
    }
    if (*c.p == '{') {
        ++c.p;
        return read_members(
            c, [depth](const std::string&, Cursor& in) { return skip_value(in, depth + 1); });
    }
    if (*c.p == '[') {
        ++c.p;
        if (take(c, ']')) {
            return true;
        }
        do {
            if (!skip_value(c, depth + 1)) {
                return false;
            }
        } while (take(c, ','));
        return take(c, ']');
    }
    std::string word;
    return read_word(c, word);
}

// A string or null member; anything else is passed over and leaves the field unknown.
bool read_text(Cursor& c, std::optional<std::string>& field) {
    if (c.p < c.end && *c.p == '"') {
        ++c.p;
        field.emplace();
        return read_string(c, &*field);
    }
    return skip_value(c, 1);
}

bool read_number(Cursor& c, std::optional<long long>& field) {
    std::string word;
    if (c.p < c.end && (*c.p == '-' || (*c.p >= '0' && *c.p <= '9')) && read_word(c, word)) {
        char* rest = nullptr;
        const long long value = std::strtoll(word.c_str(), &rest, 10);
        if (*rest == '\0') {
            field = value;
        }
        return true;
    }
    return skip_value(c, 1);
}

bool read_flag(Cursor& c, std::optional<bool>& field) {
    std::string word;
    const char* start = c.p;
    if (read_word(c, word) && (word == "true" || word == "false")) {
        field = word == "true";
        return true;
    }
    c.p = start;
    return skip_value(c, 1);
}

// Where a record's text members go.
std::optional<std::string> HistoryRecord::*text_member(const std::string& key) {
    static const std::pair<const char*, std::optional<std::string> HistoryRecord::*> kTexts[] = {
        {"batch", &HistoryRecord::batch},
        {"time", &HistoryRecord::time},
        {"cable", &HistoryRecord::cable},
        {"action", &HistoryRecord::action},
        {"serial", &HistoryRecord::serial},
        {"serial_requested", &HistoryRecord::serial_requested},
        {"serial_after", &HistoryRecord::serial_after},
        {"outcome", &HistoryRecord::outcome},
    };
    for (const auto& [name, field] : kTexts) {
        if (key == name) {
            return field;
        }
    }
    return nullptr;
}

}  // namespace

bool read_history_record(const char* begin, const char* end, HistoryRecord& record) {
    record = HistoryRecord{};
    Cursor c{begin, end};
    std::optional<std::string> kind;
    std::optional<std::string> run;
    const bool whole =
        take(c, '{') && read_members(c, [&](const std::string& key, Cursor& in) {
            if (key == "record") {
                return read_text(in, kind);
            }
            if (key == "run") {
                return read_text(in, run);
            }
            if (key == "zan_version") {
                return read_number(in, record.zan_version);
            }
            if (key == "zan_version_after") {
                return read_number(in, record.zan_version_after);
            }
            if (key == "programmer_started") {
                return read_flag(in, record.programmer_started);
            }
            if (key == "file" && in.p < in.end && *in.p == '{') {
                ++in.p;
                return read_members(in, [&](const std::string& inner, Cursor& value) {
                    return inner == "path" ? read_text(value, record.file) : skip_value(value, 2);
                });
            }
            if (auto field = text_member(key)) {
                return read_text(in, record.*field);
            }
            return skip_value(in, 1);
        });
    skip_space(c);
    if (!whole || c.p != c.end || !kind || !run ||
        (*kind != "start" && *kind != "end" && *kind != "serial")) {
        return false;
    }
    record.kind = *kind;
    record.run = *run;
    return true;
}

void note_record(SerialLedger& ledger, const HistoryRecord& r) {
    if (r.kind == "serial" && r.serial) {
        ledger.claims.push_back({r.run, *r.serial, true});
    } else if (r.kind == "start") {
        if (r.serial && !r.serial->empty()) {
            ledger.held.insert(*r.serial);
        }
        if (r.serial_requested) {
            ledger.claims.push_back({r.run, *r.serial_requested, false});
            if (r.batch) {
                ledger.given[r.run] = {*r.batch, *r.serial_requested};
            }
        }
    } else if (r.kind == "end") {
        if (r.serial_after && !r.serial_after->empty()) {
            ledger.held.insert(*r.serial_after);
        }
        if (r.programmer_started == false) {
            ledger.unwritten_runs.insert(r.run);
            // A station's serial passes to the run it gave it to.
            auto run = ledger.given.find(r.run);
            if (run != ledger.given.end()) {
                ledger.unwritten_batch_serials.insert(run->second.first + '\n' +
                                                      run->second.second);
            }
        }
    }
}

std::vector<std::string> lowest_free(const SerialLedger& ledger, const SerialRange& range,
                                     const std::string& format, std::size_t count) {
    std::unordered_set<std::string> taken = ledger.held;
    for (const SerialLedger::Claim& claim : ledger.claims) {
        const bool lapsed = ledger.unwritten_runs.count(claim.run) > 0 ||
                            (claim.by_serial_record && ledger.unwritten_batch_serials.count(
                                                           claim.run + '\n' + claim.serial) > 0);
        if (!lapsed) {
            taken.insert(claim.serial);
        }
    }
    std::vector<std::string> serials;
    std::string serial = range.first;
    while (serials.size() < count) {
        if (taken.count(serial) == 0) {
            serials.push_back(serial);
        }
        if (!next_serial(range, format, serial)) {
            break;
        }
    }
    return serials;
}

std::vector<std::string> free_serials(const std::string& history, const SerialRange& range,
                                      const std::string& format, std::size_t count) {
    SerialLedger ledger;
    RecordLines lines;
    auto note = [&ledger](const HistoryRecord& r) { note_record(ledger, r); };
    feed_records(lines, history.data(), history.size(), note);
    finish_records(lines, note);
    return lowest_free(ledger, range, format, count);
}

bool take_serials(RunLog& log, const std::string& range_text, const RomImage& file_image,
                  const std::vector<std::string>& cables, bool record,
                  std::vector<std::string>& serials, std::string& shortfall) {
    serials.clear();
    SerialRange range;
    split_serial_range(range_text, range);
    // In a file the serial field holds the format that a new serial number must follow.
    const std::string format = rom_text(file_image, kSerialOffset, kSerialSize);
    if (!serial_range_fits(range, format)) {
        shortfall = "Serial range " + range_text + " does not match the format " + format;
        return true;
    }
    SerialLedger ledger;
    RecordLines lines;
    auto note = [&ledger](const HistoryRecord& r) { note_record(ledger, r); };
    if (!lock_history_file(log.file, kHistoryLockTimeoutMs, log.interrupted)) {
        print_message("Unable to read log %s\n", log.path.c_str());
        return false;
    }
    if (!read_history_pieces(log.file, [&](const char* data, std::size_t size) {
            feed_records(lines, data, size, note);
        })) {
        unlock_history_file(log.file);
        print_message("Unable to read log %s\n", log.path.c_str());
        return false;
    }
    finish_records(lines, note);
    serials = lowest_free(ledger, range, format, cables.size());
    if (serials.size() < cables.size()) {
        shortfall = "No serial number left in " + range_text;
    }
    std::string records;
    for (std::size_t i = 0; record && i < serials.size(); ++i) {
        records += serial_record(log, cables[i], serials[i]);
    }
    const bool written = records.empty() || append_history_line(log.file, records);
    unlock_history_file(log.file);
    if (!written) {
        serials.clear();
        print_message("Unable to write log %s\n", log.path.c_str());
    }
    return written;
}
