#include "driver/serial_range.h"

#include "image/rom_image.h"

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

bool split_serial_range(const std::string& text, SerialRange& range) {
    const std::size_t at = text.find("..");
    if (at == std::string::npos || text.find("..", at + 1) != std::string::npos) {
        return false;
    }
    range.first = text.substr(0, at);
    range.last = text.substr(at + 2);
    return true;
}

bool serial_range_reversed(const SerialRange& range) {
    if (range.first.size() != range.last.size()) {
        return false;
    }
    for (std::size_t i = 0; i < range.first.size(); ++i) {
        const char a = range.first[i];
        const char b = range.last[i];
        if (a != b && !(is_digit(a) && is_digit(b))) {
            return false;
        }
    }
    // Equal outside the digits, so the text order is the numeric order.
    return range.first > range.last;
}

bool serial_range_fits(const SerialRange& range, const std::string& format) {
    return serial_matches_format(format.c_str(), range.first.c_str()) &&
           serial_matches_format(format.c_str(), range.last.c_str());
}

bool next_serial(const SerialRange& range, const std::string& format, std::string& serial) {
    std::size_t i = format.size();
    while (i > 0) {
        --i;
        if (format[i] != '#') {
            continue;
        }
        if (serial[i] != '9') {
            ++serial[i];
            return serial <= range.last;
        }
        serial[i] = '0';
    }
    return false;
}
