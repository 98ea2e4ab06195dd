// The front door with standard output lost, in one process: every mode that writes there must
// notice, as the plain show run does, instead of reporting success.
#include "driver/front_door.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
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

TEST(FrontDoorOutput, LostOutputIsNoSuccess) {
    struct Case {
        bool Options::*mode;
        bool json;  // without a mode: a show run, which ends "Finished" when all went well
    };
    const Case cases[] = {{&Options::help, false},
                          {&Options::version, false},
                          {&Options::list, false},
                          {&Options::list, true},
                          {nullptr, true}};
    const fs::path history = fs::temp_directory_path() /
                             ("cw_front_door_" + std::to_string(std::random_device()()) + ".jsonl");
    const char* const argv[] = {"cablewright", "--json"};
    for (const Case& c : cases) {
        for (bool lost : {false, true}) {
            SCOPED_TRACE(std::to_string(&c - cases) + (lost ? ", lost" : ""));
            Options options;
            if (c.mode != nullptr) {
                options.*c.mode = true;
            }
            options.json = c.json;
            options.cable = "USB-1 [1-1]";
            const bool shows = c.mode == nullptr;
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
            ASSERT_TRUE(!shows ||
                        open_run_log(log, history.string(), 2, argv, [] { return false; }));
            int status = -1;
            EXPECT_TRUE(answer_front_door(options, output_written, status, &log));
            const std::string err = testing::internal::GetCapturedStderr();
            testing::internal::GetCapturedStdout();
            EXPECT_EQ(lost ? kStatusFailed : kStatusDone, status);
            EXPECT_EQ(lost, err.find(kLost) != std::string::npos) << err;
            EXPECT_EQ(shows && !lost, err.size() - err.rfind("Finished\n") == 9) << err;
            std::ostringstream records;
            records << std::ifstream(history).rdbuf();
            const std::string end =
                lost ? "\"status\":8,\"outcome\":\"failed\"" : "\"status\":0,\"outcome\":\"done\"";
            EXPECT_EQ(shows, records.str().find(end) != std::string::npos) << records.str();
        }
    }
    fs::remove(history);
}

}  // namespace
