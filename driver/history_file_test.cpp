// The history file as concurrent runs and full disks meet it: every record on a line of its own,
// and a lock that another program holds delays a run only so long.
#include "driver/history_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "common/message.h"
#include "driver/history.h"

namespace {

namespace fs = std::filesystem;

// A history of its own in the temporary folder, holding `text`.
std::string history_holding(const std::string& text) {
    const fs::path path =
        fs::temp_directory_path() / ("cw_history_" + std::to_string(std::random_device()()));
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

std::string text_of(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// A fragment left by a run that was cut short must not swallow the next record.
TEST(HistoryFile, EveryRecordStartsOnALineOfItsOwn) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "{}\n"},
        {"{\"a\":1}\n", "{\"a\":1}\n{}\n"},
        {"{\"a\":", "{\"a\":\n{}\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const std::string path = history_holding(c.first);
        HistoryFile* file = open_history_file(path);
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(lock_history_file(file, 0, nullptr));
        EXPECT_TRUE(append_history_line(file, "{}\n"));
        unlock_history_file(file);
        close_history_file(file);
        EXPECT_EQ(text_of(path), c.second);
        fs::remove(path);
    }
}

// Another program holding the lock delays a record by the limit at most, and an interrupt ends
// the wait at once; the record is then not written and the history says so.
TEST(HistoryFile, TheWaitForTheLockEnds) {
    using Clock = std::chrono::steady_clock;
    const std::string path = history_holding("");
    HistoryFile* holder = open_history_file(path);
    HistoryFile* waiter = open_history_file(path);
    ASSERT_NE(holder, nullptr);
    ASSERT_NE(waiter, nullptr);
    ASSERT_TRUE(lock_history_file(holder, 0, nullptr));

    Clock::time_point start = Clock::now();
    EXPECT_FALSE(lock_history_file(waiter, 200, nullptr));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(200));

    RunLog log;
    const char* const argv[] = {"cablewright"};
    testing::internal::CaptureStderr();
    ASSERT_TRUE(open_run_log(log, path, 1, argv, [] { return true; }));
    start = Clock::now();
    EXPECT_EQ(log_end(log, kStatusDone, RunOutcome::kDone), kStatusFailed);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to write log " + path + "\n");
    EXPECT_EQ(text_of(path), "");

    unlock_history_file(holder);
    EXPECT_TRUE(lock_history_file(waiter, 0, nullptr));
    unlock_history_file(waiter);
    close_history_file(waiter);
    close_history_file(holder);
    fs::remove(path);
}

}  // namespace
