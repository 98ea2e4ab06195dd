// The history file as concurrent runs and full disks meet it: every record on a line of its own,
// and a lock that another program holds delays a run only so long.
#include "driver/history_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "common/message.h"
#include "driver/history.h"

namespace {

namespace fs = std::filesystem;

class HistoryFileTest : public testing::Test {
  protected:
    void SetUp() override {
        path_ = (fs::temp_directory_path() /
                 ("cw_history_" + std::to_string(std::random_device()()) + ".jsonl"))
                    .string();
    }
    void TearDown() override {
        std::error_code error;
        fs::remove(path_, error);
    }

    void write(const std::string& text) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << text;
    }
    std::string read() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::string path_;
};

// A fragment left by a run that was cut short must not swallow the next record.
TEST_F(HistoryFileTest, EveryRecordStartsOnALineOfItsOwn) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "{}\n"},
        {"{\"a\":1}\n", "{\"a\":1}\n{}\n"},
        {"{\"a\":", "{\"a\":\n{}\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        write(c.first);
        HistoryFile* file = open_history_file(path_);
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(lock_history_file(file, 0, nullptr));
        EXPECT_TRUE(append_history_line(file, "{}\n"));
        unlock_history_file(file);
        close_history_file(file);
        EXPECT_EQ(read(), c.second);
    }
}

// Another program holding the lock delays a record by the limit at most, and an interrupt ends
// the wait at once; the record is then not written and the history says so.
TEST_F(HistoryFileTest, TheWaitForTheLockEnds) {
    using Clock = std::chrono::steady_clock;
    HistoryFile* holder = open_history_file(path_);
    HistoryFile* waiter = open_history_file(path_);
    ASSERT_NE(holder, nullptr);
    ASSERT_NE(waiter, nullptr);
    ASSERT_TRUE(lock_history_file(holder, 0, nullptr));

    Clock::time_point start = Clock::now();
    EXPECT_FALSE(lock_history_file(waiter, 200, nullptr));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(200));

    RunLog log;
    const char* const argv[] = {"cablewright"};
    testing::internal::CaptureStderr();
    ASSERT_TRUE(open_run_log(log, path_, 1, argv, [] { return true; }));
    start = Clock::now();
    EXPECT_EQ(log_end(log, kStatusDone, RunOutcome::kDone), kStatusFailed);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to write log " + path_ + "\n");
    EXPECT_EQ(read(), "");

    unlock_history_file(holder);
    EXPECT_TRUE(lock_history_file(waiter, 0, nullptr));
    unlock_history_file(waiter);
    close_history_file(waiter);
    close_history_file(holder);
}

}  // namespace
