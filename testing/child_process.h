// Running a program for a test, as one platform service: the end-to-end tests, the simulator's
// tests and whatever else starts a program use this one runner.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct ChildRun {
    bool started = false;
    bool signalled = false;  // ended by a signal or, on Windows, an unhandled exception (a
                             // crash is never an expected result)
    int status = -1;         // exit status, or the signal number when signalled on POSIX
    std::string out;
    std::string err;
    // Why the run did not come to its own end ("" when it did): it overran its deadline and was
    // killed, or waiting for it failed. status and signalled then say nothing about the program.
    std::string failure;
};

struct ChildSpec {
    std::string program;                                   // a path
    std::vector<std::string> args;                         // after the program name
    std::string folder;                                    // working directory
    std::vector<std::pair<std::string, std::string>> env;  // set on top of this environment
    std::string input;                                     // fed to standard input, then closed
    // Sends signal `interrupt_signal` once the child's output contains this text (empty: never).
    std::string interrupt_when;
    int interrupt_delay_ms = 0;  // after the text appeared
    int interrupt_signal = 2;    // 0: none, for a child that only before_interrupt acts on
    // Runs in the runner's thread once the interrupt is due, just before it is sent: the test
    // acts while the child is at that point (its outputs are read again when this returns).
    std::function<void()> before_interrupt;
    bool hold_input_open = false;  // keep standard input open after feeding it, as a console
    // POSIX only: a pseudo-terminal in place of pipes, the child leading a session of its own
    // with it as its controlling terminal, and no input fed. kWhole: the terminal is all three
    // streams (Ctrl-C interrupts), `out` is all it showed and the interrupt is typed as Ctrl-C.
    // kStandardError: only standard error is the terminal, raw, and `err` is what it showed;
    // standard input and output are the null device.
    enum class Terminal { kNone, kWhole, kStandardError } terminal = Terminal::kNone;
    // Past this the child and everything it started are killed, so that a hang fails the test
    // quickly and before CTest's limit for it: twice the slowest normal run (two 3 s pauses).
    int deadline_ms = 12000;
};

// Runs child to its end, or to its deadline, and collects its outputs. On Windows no signal is
// ever sent; before_interrupt is still called.
ChildRun run_child(const ChildSpec& child);

// What follows a program's name in its file name: "" (POSIX) or ".exe" (Windows).
extern const char kProgramSuffix[];

// Separates the folders in PATH: ':' (POSIX) or ';' (Windows).
extern const char kPathListSeparator;

// A line end as a console program writes it to a pipe in text mode: "\n" or "\r\n" (Windows).
extern const char kConsoleLineEnd[];

// The exit status run_process reports for a program that raised SIGSEGV: 128 + 11 (POSIX), or
// the C runtime's 3 (Windows).
extern const int kCrashExitStatus;
