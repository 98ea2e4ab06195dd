#include "tests/station_fixture.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

const char* const kStationCables[3] = {"STN-1 [1-1]", "STN-2 [1-2]", "STN-3 [1-3]"};

ChildSpec Station::station(const std::vector<std::string>& args) {
    temp_ = root_ + "/tmp";
    fs::create_directories(temp_);
    ChildSpec child = cablewright_child(args);
    // Where POSIX and Windows look for the temporary folder.
    child.env.push_back({"TMPDIR", temp_});
    child.env.push_back({"TMP", temp_});
    child.deadline_ms = 25000;
    return child;
}

void Station::expect_nothing_left() {
    EXPECT_FALSE(temp_file_left());
    EXPECT_TRUE(private_folders().empty());
    EXPECT_TRUE(fs::is_empty(temp_));
}

std::map<std::string, std::string> lines_by_cable(const std::string& err) {
    std::map<std::string, std::string> by_cable;
    // Split at the console's line ends: a stray '\r' left in a line is a fault to see.
    const std::string end = kConsoleLineEnd;
    for (std::size_t start = 0, stop; start < err.size(); start = stop + end.size()) {
        stop = std::min(err.find(end, start), err.size());
        std::string line = err.substr(start, stop - start);
        std::string owner;
        for (const char* name : kStationCables) {
            if (line.rfind(std::string(name) + ": ", 0) == 0) {
                owner = name;
                line.erase(0, owner.size() + 2);
            }
        }
        by_cable[owner] += line + "\n";
    }
    return by_cable;
}
