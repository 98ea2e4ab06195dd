#include "sim/file_lock.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "sim/sim_test_support.h"

namespace {

TEST(FileLock, TwoHandlesInOneProcessExcludeEachOther) {
    TempDir dir;
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

TEST(FileLock, ReleasedWhenTheHolderIsKilled) {
    TempDir dir;
    std::string path = dir.path() + "/chain.lock";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t holder = ::fork();
    if (holder == 0) {
        FileLock lock;
        char state = try_lock_file(path, lock) == LockAttempt::kAcquired ? 'L' : 'F';
        (void)!::write(ready[1], &state, 1);
        ::pause();
        ::_exit(0);
    }
    ASSERT_GT(holder, 0);
    ChildGuard guard(holder);
    // Only the holder writes: should it die first, the read ends instead of waiting.
    ::close(ready[1]);
    char state = 0;
    ASSERT_TRUE(readable_within(ready[0]));
    ASSERT_EQ(::read(ready[0], &state, 1), 1);
    ASSERT_EQ(state, 'L');

    FileLock lock;
    EXPECT_EQ(try_lock_file(path, lock), LockAttempt::kBusy);
    guard.kill_now();
    EXPECT_EQ(try_lock_file(path, lock), LockAttempt::kAcquired);
    unlock_file(lock);
    ::close(ready[0]);
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
