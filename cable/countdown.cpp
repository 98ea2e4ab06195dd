#include "cable/countdown.h"

#include <algorithm>
#include <string>

#include "cable/pause.h"
#include "cable/terminal.h"
#include "common/message.h"

namespace {

constexpr std::uint32_t kStepMs = 1000;

}  // namespace

void count_down(std::FILE* out, std::uint32_t ms, const char* what, PauseFunction pause) {
    std::size_t longest = 0;
    std::uint32_t left = ms;
    while (left > 0) {
        std::uint32_t seconds = (left + kStepMs - 1) / kStepMs;
        std::string line = std::string(what) + " (" + std::to_string(seconds) + " s)";
        longest = std::max(longest, line.size());
        // Padded to the longest line so far, so that no character of an earlier count remains.
        line.resize(longest, ' ');
        // Marked first: a message printed meanwhile (an interrupt's, too) starts a line below.
        set_open_line(true);
        std::fprintf(out, "\r%s", line.c_str());
        std::fflush(out);
        std::uint32_t step = left % kStepMs != 0 ? left % kStepMs : kStepMs;
        pause(step);
        left -= step;
    }
    if (longest > 0) {
        std::fprintf(out, "\r%s\r", std::string(longest, ' ').c_str());
        std::fflush(out);
        set_open_line(false);
    }
}

void pause_with_countdown(std::uint32_t ms, const char* what) {
    if (stderr_is_terminal()) {
        count_down(stderr, ms, what, pause_ms);
    } else {
        pause_ms(ms);
    }
}
