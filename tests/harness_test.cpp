// The harness's own promises: a hung run ends at its deadline with everything it started, and
// every test gets a folder of its own.
#include <chrono>
#include <filesystem>

#include "testing/temp_folder.h"
#include "tests/bench_fixture.h"

namespace fs = std::filesystem;

namespace {

using Harness = BenchTest;

// Without the whole process tree stopped, the programmer would keep the outputs open for its
// 600 s and the call would not return.
TEST_F(Harness, DeadlineStopsTheRunAndTheProgrammerItStarted) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    add_cable("USB-1", &rom);
    change_settings([](BenchSettings& s) { s.programmer = {ProgrammerMode::kHang, 600}; });
    ChildSpec child =
        cablewright_child({"-c", "USB-1", write_pof("new.pof", cable_rom(4, 2, "AB-##", true))});
    child.deadline_ms = 5000;  // the programmer starts after the 3 s select-mode pause
    const auto start = std::chrono::steady_clock::now();
    ChildRun r = run_child(child);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.failure, "killed after its deadline of 5000 ms");
    EXPECT_NE(r.err.find("vantor_pgm -c"), std::string::npos) << r.err;
    EXPECT_LT(took, std::chrono::milliseconds(6500));
}

TEST(TempFolder, EachIsNewAndEmptyAndGoesWithItsObject) {
    std::string gone;
    {
        const TempFolder first("cw_harness_"), second("cw_harness_");
        ASSERT_NE(first.path(), "");
        ASSERT_NE(second.path(), "");
        EXPECT_NE(first.path(), second.path());
        for (const TempFolder* folder : {&first, &second}) {
            EXPECT_TRUE(fs::is_directory(folder->path())) << folder->path();
            EXPECT_TRUE(fs::is_empty(folder->path())) << folder->path();
            EXPECT_EQ(fs::path(folder->path()).filename().string().rfind("cw_harness_", 0), 0u);
        }
        fs::create_directory(fs::path(first.path()) / "full");
        gone = first.path();
    }
    EXPECT_FALSE(fs::exists(gone));
}

}  // namespace
