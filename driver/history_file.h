// The history file, appended to by whole lines that concurrent runs never interleave, and the
// facts about this process and its time that the history records, as one platform service.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

struct HistoryFile;

// How much of a history is read at once.
constexpr std::size_t kHistoryPieceSize = 1 << 20;

// Opens path for appending, creating it when missing and never truncating it. Null when it
// cannot be opened or is not a regular file.
HistoryFile* open_history_file(const std::string& path);

// Takes the exclusive lock on the file that every run appends under, waiting at most
// timeout_ms and no longer once interrupted() (null: never) turns true. False when it was not
// taken.
bool lock_history_file(HistoryFile* file, int timeout_ms, bool (*interrupted)());

// Releases the lock; null is allowed.
void unlock_history_file(HistoryFile* file);

// With the lock held: appends line in one write, starting it with a newline when the file does
// not end with one, then flushes it to disk before returning. False when any of that failed,
// after cutting the file back to its earlier length, so that no fragment is left for the next
// record to be glued onto.
bool append_history_line(HistoryFile* file, const std::string& line);

// With the lock held: passes the whole file as it stands to piece(), a piece at a time, from
// its start. False when it could not be read.
bool read_history_pieces(HistoryFile* file,
                         const std::function<void(const char*, std::size_t)>& piece);

// Closes the file; null is allowed.
void close_history_file(HistoryFile* file);

// This machine's name; empty when unknown.
std::string host_name();

// The name of the user this process runs as, from the system's user database (never from the
// environment); empty when unknown.
std::string user_name();

// This process's id.
unsigned long process_id();

// The calendar date and time in UTC of seconds since 1970 (negative: before it); false when the
// system cannot express that time.
bool utc_calendar_time(std::int64_t seconds, std::tm& calendar);
