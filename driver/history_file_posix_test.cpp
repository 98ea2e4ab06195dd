// A write that the file-size limit cuts short leaves the history as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/history_file.h"

namespace {

TEST(HistoryFilePosix, AFailedAppendIsCutBack) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("cw_history_" + std::to_string(getpid())))
            .string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "{\"a\":1}\n";
    HistoryFile* file = open_history_file(path);
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(lock_history_file(file, 0, nullptr));

    // As the program runs: SIGXFSZ ignored, so the limit makes the write fail instead.
    struct sigaction ignore {};
    struct sigaction before {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &before);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    rlimit low = limit;
    low.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &low);
    const bool appended = append_history_line(file, std::string(64, 'x') + "\n");
    setrlimit(RLIMIT_FSIZE, &limit);
    sigaction(SIGXFSZ, &before, nullptr);

    EXPECT_FALSE(appended);
    close_history_file(file);
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    EXPECT_EQ(text.str(), "{\"a\":1}\n");
    std::remove(path.c_str());
}

}  // namespace
