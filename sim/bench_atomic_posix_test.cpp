// A cable file is never torn: readers racing a writer, and a writer killed mid-write, always
// leave a complete record behind.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "sim/bench.h"
#include "sim/sim_test_support.h"

namespace {

// Big enough that writing one takes many system calls.
CableRecord big_record(char fill) {
    CableRecord record;
    record.name = std::string(1 << 20, fill);
    record.rom_written = true;
    record.rom.bytes.fill(static_cast<std::uint8_t>(fill));
    return record;
}

bool is_one_of_the_two(const CableRecord& record) {
    for (char fill : {'a', 'b'}) {
        CableRecord expected = big_record(fill);
        if (record.name == expected.name && record.rom == expected.rom) {
            return true;
        }
    }
    return false;
}

TEST(BenchAtomicWrite, ReadersAndKilledWritersNeverSeeHalfAFile) {
    TempFolder dir;
    ASSERT_TRUE(create_bench(dir.path()));
    int id = 0;
    ASSERT_TRUE(add_cable(dir.path(), big_record('a'), &id));

    pid_t writer = ::fork();
    if (writer == 0) {
        for (int i = 0;; ++i) {
            save_cable(dir.path(), id, big_record(i % 2 == 0 ? 'b' : 'a'));
        }
    }
    ASSERT_GT(writer, 0);
    // No early return while the writer runs: it must be killed (mid-write, most likely) and reaped.
    for (int i = 0; i < 40; ++i) {
        CableRecord record;
        EXPECT_EQ(load_cable(dir.path(), id, record), LoadResult::kLoaded) << i;
        EXPECT_TRUE(is_one_of_the_two(record)) << i;
    }
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);

    CableRecord record;
    ASSERT_EQ(load_cable(dir.path(), id, record), LoadResult::kLoaded);
    EXPECT_TRUE(is_one_of_the_two(record));
    EXPECT_EQ(list_cables(dir.path()), std::vector<int>{id});
}

}  // namespace
