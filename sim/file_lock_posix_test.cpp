#include "sim/file_lock.h"

#include <gtest/gtest.h>

#include "sim/sim_test_support.h"

namespace {

TEST(FileLock, TwoHandlesInOneProcessExcludeEachOtherAndNoFileFails) {
    TempFolder dir;
    std::string path = dir.path() + "/chain.lock";
    FileLock first, second;
    ASSERT_EQ(try_lock_file(path, first), LockAttempt::kAcquired);
    EXPECT_EQ(try_lock_file(path, second), LockAttempt::kBusy);
    EXPECT_FALSE(lock_held(second));
    unlock_file(first);
    EXPECT_FALSE(lock_held(first));
    EXPECT_EQ(try_lock_file(path, second), LockAttempt::kAcquired);
    unlock_file(second);
    unlock_file(second);  // harmless when not held

    // A file that cannot be opened fails.
    testing::internal::CaptureStderr();
    EXPECT_EQ(try_lock_file("/no/such/dir/chain.lock", second), LockAttempt::kFailed);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot open lock file"),
              std::string::npos);
    EXPECT_FALSE(lock_held(second));
}

}  // namespace
