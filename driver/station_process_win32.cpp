#include <windows.h>

#include "driver/random_folder_win32.h"
#include "driver/station_process.h"
#include "handoff/command_line.h"
#include "handoff/handle_list_win32.h"

namespace {

HANDLE process_of(const StationChild& child) {
    return reinterpret_cast<HANDLE>(child.id);
}

// The one job every run goes in, made at the first run; null when it cannot be made. It has no
// kill-on-close: if the station is killed, the runs in flight still finish their cables (as on
// POSIX, where a run's process group outlives the station) rather than leave them half-done.
HANDLE runs_job() {
    static const HANDLE job = CreateJobObjectA(nullptr, nullptr);
    return job;
}

// A file the run appends to; its writes and the station's reads never stand in each other's way.
HANDLE open_for_append(const std::string& path) {
    return CreateFileA(path.c_str(), FILE_APPEND_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

void close_if_open(HANDLE handle) {
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
}

}  // namespace

std::string own_program_path(const char* argv0) {
    // MAX_PATH, as everywhere else in this program: a longer path fails here and argv0 stands in.
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        return std::string(path, length);
    }
    return argv0 != nullptr ? argv0 : "";
}

std::string make_station_folder() {
    char temp[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length > MAX_PATH) {
        return "";
    }
    // The temporary folder is the user's own, and the new folder takes its access rights: the
    // runs' outputs are nobody else's to read. GetTempPath ends the path with '\'.
    return make_random_folder(std::string(temp, length) + "cablewright-station-");
}

bool start_station_child(const std::vector<std::string>& argv, const std::string& out_path,
                         const std::string& err_path, StationChild& child) {
    if (argv.empty()) {
        return false;
    }
    std::string line;
    for (const std::string& word : argv) {
        line += (line.empty() ? "" : " ") + quote_argument(word);
    }
    // CreateProcessA may write into the command line, so it gets a private copy.
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    std::vector<HANDLE> streams{CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                                open_for_append(out_path), open_for_append(err_path)};
    STARTUPINFOEXA startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = streams[0];
    startup.StartupInfo.hStdOutput = streams[1];
    startup.StartupInfo.hStdError = streams[2];
    std::vector<char> attributes;
    PROCESS_INFORMATION process{};
    bool started = false;
    if (streams[0] != INVALID_HANDLE_VALUE && streams[1] != INVALID_HANDLE_VALUE &&
        streams[2] != INVALID_HANDLE_VALUE &&
        list_inherited_handles(streams, startup, attributes)) {
        // A group of its own: the console's Ctrl-C reaches the station alone, which passes it
        // on as Ctrl-Break (a new group ignores Ctrl-C). Suspended until it is in the job.
        started = CreateProcessA(
            argv[0].c_str(), buffer.data(), nullptr, nullptr, TRUE,
            CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP | EXTENDED_STARTUPINFO_PRESENT, nullptr,
            nullptr, &startup.StartupInfo, &process);
        DeleteProcThreadAttributeList(startup.lpAttributeList);
    }
    for (HANDLE stream : streams) {
        close_if_open(stream);
    }
    if (!started) {
        return false;
    }
    // The job only keeps the runs together, so that they can be watched or ended as one. A
    // station inside a job that allows no nested job and no breakaway (older systems, some
    // service hosts) cannot put a run in it: the run still goes on, in the station's job, since a
    // cable is better updated outside our job than not at all.
    const HANDLE job = runs_job();
    if (job != nullptr) {
        AssignProcessToJobObject(job, process.hProcess);
    }
    if (ResumeThread(process.hThread) == static_cast<DWORD>(-1)) {
        TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return false;
    }
    CloseHandle(process.hThread);
    child.id = reinterpret_cast<std::intptr_t>(process.hProcess);
    return true;
}

bool station_child_ended(StationChild& child, StationChildEnd& end) {
    const HANDLE process = process_of(child);
    const DWORD waited = WaitForSingleObject(process, 0);
    if (waited == WAIT_TIMEOUT) {
        return false;
    }
    end = StationChildEnd{};
    DWORD code = 0;
    if (waited == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code)) {
        // As signed 32-bit, as run_process reports the programmer's: 0xC0000005 reads -1073741819.
        end.exit_status = static_cast<int>(code);
    } else {
        // Lost: treated as a run that failed.
        end.exit_status = -1;
    }
    CloseHandle(process);
    child.id = -1;
    return true;
}

void interrupt_station_child(const StationChild& child) {
    // Reaches the run's group (the programmer it started included) through the console the
    // station shares with its runs. A station without a console cannot deliver it: the call
    // fails, and the runs go on to their own ends.
    if (child.id != -1) {
        GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, GetProcessId(process_of(child)));
    }
}

std::size_t terminal_columns() {
    // The buffer's width, where the console wraps lines.
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) && info.dwSize.X > 0) {
        return static_cast<std::size_t>(info.dwSize.X);
    }
    return 80;
}

namespace {

DWORD g_console_mode = 0;
bool g_console_mode_changed = false;

}  // namespace

// A classic console shows cursor escapes as text unless asked to act on them; the console is
// shared with the shell, so its mode is put back afterwards.
bool begin_terminal_view() {
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    if (!GetConsoleMode(console, &g_console_mode)) {
        return false;
    }
    if ((g_console_mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) {
        return true;
    }
    g_console_mode_changed =
        SetConsoleMode(console, g_console_mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    return g_console_mode_changed;
}

void end_terminal_view() {
    if (g_console_mode_changed) {
        SetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), g_console_mode);
        g_console_mode_changed = false;
    }
}

void station_nap() {
    Sleep(20);
}
