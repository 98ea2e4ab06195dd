#include "sim/file_lock.h"

#include <gtest/gtest.h>

#include "sim/sim_test_support.h"

namespace {

TEST(FileLock, TwoHandlesInOneProcessExcludeEachOther) {
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
}

// The holder is the bench tool, which holds a cable's chain lock until it is killed.
TEST(FileLock, ReleasedWhenTheHolderIsKilled) {
    TestBench bench;
    const std::string path = cable_lock_path(bench.path(), bench.add("USB-1", nullptr));
    FileLock lock;
    ChildRun holder = run_child(chain_holder(
        "USB-1", "60", [&] { EXPECT_EQ(try_lock_file(path, lock), LockAttempt::kBusy); }));
    EXPECT_TRUE(holder.signalled) << holder.err;
    EXPECT_EQ(holder.failure, "");
    EXPECT_EQ(try_lock_file(path, lock), LockAttempt::kAcquired);
    unlock_file(lock);
}

TEST(FileLock, UnopenableFileFails) {
    FileLock lock;
    testing::internal::CaptureStderr();
    EXPECT_EQ(try_lock_file("/no/such/dir/chain.lock", lock), LockAttempt::kFailed);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot open lock file"),
              std::string::npos);
    EXPECT_FALSE(lock_held(lock));
}

}  // namespace
