// What the user sees of a station: the runs' lines prefixed with their cable's name, the view
// of one line per cable on a terminal, the rows, the count line and the JSON document.
#pragma once

#include <string>
#include <vector>

#include "driver/station.h"

// The outcome as rows and the count line show it, e.g. "up to date".
const char* outcome_text(StationOutcome outcome);

// Appends bytes to pending and returns every line now whole, each as "<name>: line\n" (a line
// ended by "\r\n" too); with `ended` a last line without its end is returned too, given one.
// pending keeps the rest.
std::string prefixed_lines(const std::string& name, std::string& pending, const std::string& bytes,
                           bool ended);

// "<name>: serial <serial or ->, ZAN <before> -> <after or ->, <outcome>\n".
std::string station_row(const StationCable& cable);

// "3 updated, 1 up to date, 1 failed\n": the outcomes that occurred, in their order.
std::string count_line(const std::vector<StationCable>& cables);

// The --json document: {"station":{"run","file"},"counts":{outcome:n,...},"cables":[{"name",
// "serial","zan_before","zan_after","outcome","status","messages"},...]}, unknown values null.
std::string station_json(const std::vector<StationCable>& cables, const std::string& run,
                         const std::string& file);

// The counts as a JSON object, {"updated":3,"failed":1}: the outcomes that occurred, in order.
std::string counts_json(const std::vector<StationCable>& cables);

// What a run is doing, read from what it wrote so far (messages: its standard error; output:
// its standard output): "reading" until the file's line, "select mode" from then on,
// "programming" from the programmer's command line, "checking" once the programmer ended.
const char* run_phase(const std::string& messages, const std::string& output);

// The terminal view's line for a cable: its row with `phase` in place of the outcome, cut to
// `columns` so that it never wraps.
std::string view_line(const StationCable& cable, const char* phase, std::size_t columns);
