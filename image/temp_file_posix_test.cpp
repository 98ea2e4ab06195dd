#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "image/pof_file.h"
#include "sim/pof_builder.h"
#include "testing/temp_folder.h"

namespace fs = std::filesystem;

namespace {

// A file-size limit makes the write itself fail, even for root, which permissions cannot.
TEST(TempFilePosix, FailedWriteLeavesNothing) {
    fs::path old_dir = fs::current_path();
    TempFolder dir("cw_temp_file_");
    fs::current_path(dir.path());

    PofRecipe recipe;
    ASSERT_TRUE(write_file("in.pof", build_pof(recipe)));
    PofImage pof;
    ASSERT_TRUE(load_pof("in.pof", pof));

    rlimit old_limit{};
    getrlimit(RLIMIT_FSIZE, &old_limit);
    rlimit small = old_limit;
    small.rlim_cur = 100;
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    testing::internal::CaptureStderr();
    TempFile file;
    const char* name = write_temp_pof(pof, ".", file);
    std::string err = testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);

    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(err, "Unable to write cablewright.tmp.pof\n");
    EXPECT_FALSE(fs::exists("cablewright.tmp.pof"));
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator{}), 1)
        << "only in.pof is left";
    fs::current_path(old_dir);
}

}  // namespace

namespace {

// Opening a pipe would wait for a writer; it is refused at once like any other non-file.
TEST(RegularFilePosix, PipeIsRefusedWithoutBlocking) {
    TempFolder dir("cw_pipe_");
    const fs::path path = fs::path(dir.path()) / "pipe.pof";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    PofImage pof;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(load_pof(path.c_str(), pof));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to open " + path.string() + "\n");
}

}  // namespace
