// Many runs of this program at once, each on one cable, as one platform service for the station.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The full path of this program, for starting it again; argv0 is the fallback where the system
// cannot tell. Empty when neither gives one.
std::string own_program_path(const char* argv0);

// A new private folder (mode 0700; on Windows, with the temporary folder's access rights) for the
// runs' outputs, outside the working folder; empty when it cannot be made. remove_station_folder
// deletes it with everything in it.
std::string make_station_folder();
void remove_station_folder(const std::string& path);

// One started run.
struct StationChild {
    // POSIX process id, which is also its process group's; Windows process HANDLE, closed once
    // the run has ended.
    std::intptr_t id = -1;
};

// Starts argv[0] (a full path) with the arguments that follow, in the working folder, with
// standard input from the null device and standard output and error appended to out_path and
// err_path, in a process group of its own, with the signal settings this program started with
// (Windows: on this program's console, in the station's job of runs, which does not end them when
// the station ends). False when it could not be started.
bool start_station_child(const std::vector<std::string>& argv, const std::string& out_path,
                         const std::string& err_path, StationChild& child);

// How a run ended.
struct StationChildEnd {
    int exit_status = 0;     // when not signalled; -1 when its end could not be learnt
    bool signalled = false;  // never on Windows
    int signal_number = 0;
    bool interrupt_signal = false;  // signalled by SIGINT (what the station passes on)
};

// True once the run has ended (never blocks); `end` then says how.
bool station_child_ended(StationChild& child, StationChildEnd& end);

// Passes an interrupt on to the run's whole process group (Windows: Ctrl-Break, on the console).
void interrupt_station_child(const StationChild& child);

// The width of the terminal on standard error in columns; 80 when it cannot be learnt.
std::size_t terminal_columns();

// Readies the terminal on standard error for a view redrawn in place with cursor escapes; false
// when it cannot take them, and the runs' lines are then passed on instead. end_terminal_view
// puts the terminal back as it was.
bool begin_terminal_view();
void end_terminal_view();

// Waits briefly between two looks at the runs.
void station_nap();
