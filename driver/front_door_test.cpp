// The front door with standard output lost, in one process: every mode that writes there must
// notice, as the plain show run does, instead of reporting success.
#include "driver/front_door.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "testing/fake_linkhub.h"
#include "testing/rom_images.h"

namespace {

namespace fs = std::filesystem;

const char* const kLost = "Unable to write to standard output\n";

bool g_output_lost = false;

// As the real check words it.
bool output_written() {
    if (g_output_lost) {
        std::fputs(kLost, stderr);
    }
    return !g_output_lost;
}

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(FrontDoorOutput, LostOutputIsNoSuccess) {
    Options help, version, list, list_json, show_json;
    help.help = true;
    version.version = true;
    list.list = true;
    list_json.list = list_json.json = true;
    show_json.json = true;
    show_json.cable = "USB-1 [1-1]";
    struct Case {
        const char* label;
        const Options& options;
        bool shows;  // a show run, which ends "Finished" when all went well
    };
    const Case cases[] = {
        {"help", help, false},
        {"version", version, false},
        {"list", list, false},
        {"list as JSON", list_json, false},
        {"show as JSON", show_json, true},
    };
    const fs::path history = fs::temp_directory_path() /
                             ("cw_front_door_" + std::to_string(std::random_device()()) + ".jsonl");
    const char* const argv[] = {"cablewright", "--json"};
    for (const Case& c : cases) {
        for (bool lost : {false, true}) {
            SCOPED_TRACE(std::string(c.label) + (lost ? ", lost" : ""));
            reset_fake_linkhub();
            FakeCable cable;
            cable.name = "USB-1 [1-1]";
            cable.rom_text = hex_of(stepped_image(1, 3));
            fake_linkhub().cables.push_back(cable);
            fs::remove(history);
            g_output_lost = lost;
            testing::internal::CaptureStdout();
            testing::internal::CaptureStderr();
            // Only a show run keeps a history.
            RunLog log;
            ASSERT_TRUE(!c.shows ||
                        open_run_log(log, history.string(), 2, argv, [] { return false; }));
            int status = -1;
            EXPECT_TRUE(answer_front_door(c.options, output_written, status, &log));
            const std::string err = testing::internal::GetCapturedStderr();
            testing::internal::GetCapturedStdout();
            EXPECT_EQ(lost ? kStatusFailed : kStatusDone, status);
            EXPECT_EQ(lost, err.find(kLost) != std::string::npos) << err;
            EXPECT_EQ(c.shows && !lost, ends_with(err, "Finished\n")) << err;
            const std::string records = read_text(history);
            const std::string end =
                lost ? "\"status\":8,\"outcome\":\"failed\"" : "\"status\":0,\"outcome\":\"done\"";
            EXPECT_EQ(c.shows, records.find(end) != std::string::npos) << records;
        }
    }
    fs::remove(history);
}

}  // namespace
