#include <windows.h>

#include "driver/station_process.h"

// The runs would need a job object that outlives the station; until then --all says it is not
// available here, and nothing below is reached.
bool station_supported() {
    return false;
}

std::string own_program_path(const char* argv0) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        return std::string(path, length);
    }
    return argv0 != nullptr ? argv0 : "";
}

std::string make_station_folder() {
    return "";
}

void remove_station_folder(const std::string&) {}

bool start_station_child(const std::vector<std::string>&, const std::string&, const std::string&,
                         StationChild&) {
    return false;
}

bool station_child_ended(StationChild& child, StationChildEnd& end) {
    child.id = -1;
    end = StationChildEnd{};
    end.exit_status = -1;
    return true;
}

void interrupt_station_child(const StationChild&) {}

std::size_t terminal_columns() {
    return 80;
}

void station_nap() {
    Sleep(20);
}
