#include "handoff/jumper_prompt.h"

#include <cstdio>
#include <string>

#include "common/message.h"
#include "handoff/console_input.h"
#include "handoff/interrupt.h"

namespace {

constexpr char kOn[] = "###";
constexpr char kOff[] = "   ";

// One switch drawn as "%3s %3s": the jumper on the left or on the right pair of pins.
std::string jumper(const char* left, const char* right) {
    return std::string(left) + " " + right;
}

}  // namespace

std::string format_jumper_screen(JumperMode mode) {
    const bool reprogram = mode == JumperMode::kReprogram;
    const std::string pair = reprogram ? jumper(kOff, kOn) : jumper(kOn, kOff);
    std::string screen = "Please change daughter card jumpers to select ";
    screen += reprogram ? "reprogram" : "normal";
    screen += " mode:\n\n";
    screen +=
        "        (outside edge of board)\n"
        "---------------------------------------+\n"
        " o  o  o  o  o  o  o  o  o  o  o  o  o |\n"
        " o  o  o  o  o  o  o  o  o  o  o  o  o |\n"
        "                                       |\n"
        "             on               on       |\n"
        "      +=======+        +=======+       |\n";
    screen += "    1 |    ###|      1 |" + pair + "|       |\n";
    screen += "    2 |" + pair + "|      2 |" + pair + "|       |\n";
    screen += "    3 |" + pair + "|      3 |" + pair + "|       |\n";
    screen += "    4 |###    |      4 |" + pair + "|       |\n";
    screen +=
        "      +=======+        +=======+       |\n"
        "         S2                S1          |\n"
        "---------------------------------------+\n"
        "        (inside edge of board)\n\n"
        "Press ENTER when ready:";
    return screen;
}

void prompt_jumpers(JumperMode mode, std::FILE* in) {
    // Each screen needs an ENTER of its own: a second quick ENTER meant for the first screen
    // must not confirm jumpers nobody has moved yet.
    discard_typed_ahead(in);
    const std::string screen = format_jumper_screen(mode);
    // "Press ENTER when ready:" stays open; a message meanwhile must not follow it on its line.
    const bool open_on_terminal = output_and_errors_on_terminal();
    if (open_on_terminal) {
        set_open_line(true);
    }
    std::fwrite(screen.data(), 1, screen.size(), stdout);
    std::fflush(stdout);
    // The whole line goes, so that keys typed before ENTER cannot answer the next prompt. A
    // read cut short by an interrupt fails with EINTR, which ends the loop like end of input.
    while (!interrupt_requested()) {
        int c = std::fgetc(in);
        if (c == '\n') {
            break;
        }
        // Ctrl-D, a closed pipe: nobody is there to move the jumpers, so the run must stop as
        // after any interrupt rather than go on as if they had been moved.
        if (c == EOF) {
            if (!interrupt_requested()) {
                record_interrupt();
            }
            break;
        }
    }
    if (open_on_terminal) {
        set_open_line(false);
    }
    std::fputs("\n", stdout);
    std::fflush(stdout);
}
