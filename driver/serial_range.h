// A range of serial numbers, FIRST..LAST, counted where the file's serial format has digits.
#pragma once

#include <string>

struct SerialRange {
    std::string first;
    std::string last;
};

// Splits text at its only ".."; false when it has none or several.
bool split_serial_range(const std::string& text, SerialRange& range);

// True when FIRST comes after LAST in numeric order. Only a range whose ends could share a format
// (the same length, differing only in digits) is judged here; the rest is the format's to refuse.
bool serial_range_reversed(const SerialRange& range);

// True when both ends follow format ('#' a digit) and differ only where it has digits.
bool serial_range_fits(const SerialRange& range, const std::string& format);

// Moves serial to the next one of the range (the digits at format's '#' counting up); false after
// LAST, or when the digits roll over. The range must fit the format.
bool next_serial(const SerialRange& range, const std::string& format, std::string& serial);
