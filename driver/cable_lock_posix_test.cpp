#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "common/sha256.h"
#include "driver/cable_lock.h"

namespace {

// The lock lives in /tmp for every user (mode 0666 whatever the umask), under the digest of the
// name, so a name of path separators is as good as any; a second holder is refused until the
// first lets go, also within one process.
TEST(CableLock, OneHolderAtATimeInTmp) {
    const std::string name = "lock test /../ " + std::to_string(getpid());
    const std::string path = "/tmp/cablewright-" + sha256_hex(name) + ".lock";
    std::remove(path.c_str());
    const mode_t old_mask = umask(077);
    CableLock first;
    CableLock second;
    const CableLockResult taken = lock_cable(name, first);
    umask(old_mask);
    ASSERT_EQ(CableLockResult::kHeld, taken);
    struct stat st {};
    ASSERT_EQ(0, stat(path.c_str(), &st));
    EXPECT_EQ(0666u, st.st_mode & 0777);
    EXPECT_EQ(CableLockResult::kBusy, lock_cable(name, second));
    EXPECT_EQ(-1, second.handle);
    unlock_cable(first);
    EXPECT_EQ(-1, first.handle);
    EXPECT_EQ(CableLockResult::kHeld, lock_cable(name, second));
    unlock_cable(second);
    std::remove(path.c_str());
}

}  // namespace
