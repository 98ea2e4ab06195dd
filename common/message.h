// Messages on standard error. Every whole line the program itself prints there goes through
// here, so that a run's history can keep them; progress lines and countdowns do not.
#pragma once

#include <string>
#include <vector>

#if defined(__GNUC__)
#define CW_PRINTF_LIKE(format_index, first_arg) \
    __attribute__((format(printf, format_index, first_arg)))
#else
#define CW_PRINTF_LIKE(format_index, first_arg)
#endif

// Prints text to standard error in one call; while lines are kept, keeps its lines too. An open
// line that is showing is ended first with "\n" (not kept).
void put_message(const char* text);

// Marks a line left without its end on the terminal (a countdown on standard error, a prompt on
// standard output of the same terminal) as showing or gone: while it shows, the next message, the
// interrupt's acknowledgement included, starts with "\n" to stand on a line of its own. Only for
// a terminal: pipes and files never get the extra byte.
void set_open_line(bool open);

// True when an open line was showing, which then counts as ended: the caller writes the "\n".
// Async-signal-safe.
bool take_open_line();

// put_message of the formatted text.
void print_message(const char* format, ...) CW_PRINTF_LIKE(1, 2);

// The line the interrupt guard prints, without its line end, when it records an interrupt; the
// history keeps it among the run's messages.
constexpr char kInterruptAcknowledgement[] =
    "Stopping safely: the cable is returned to normal mode first";

// A line printed outside this module (by a signal handler) once `printed` turns true: it is
// kept in its place, before the first line kept after that moment.
struct OutsideLine {
    bool (*printed)() = nullptr;
    const char* text = nullptr;  // without its line end
};

// From now on keeps each message line in `lines`, without its line end. Null stops keeping,
// after keeping a line not yet ended and, when it was printed, the outside line.
void keep_messages(std::vector<std::string>* lines, OutsideLine outside = {});
