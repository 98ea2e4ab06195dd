// A bench file is replaced even while another process has it open for reading, as the stand-in
// library does all the time; Windows refuses such a replacement until the reader lets go.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "sim/bench.h"
#include "testing/temp_folder.h"

namespace fs = std::filesystem;

namespace {

TEST(BenchReplace, AFileHeldOpenByAReaderIsStillReplaced) {
    TempFolder folder("cw_bench_replace_");
    const fs::path dir = fs::path(folder.path()) / "bench";
    ASSERT_TRUE(create_bench(dir.string()));
    std::FILE* reader = std::fopen((dir / "settings.txt").string().c_str(), "rb");
    ASSERT_NE(reader, nullptr);
    // The reader lets go after a while, as another program would: a save must wait for it.
    std::thread release([reader] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        std::fclose(reader);
    });

    BenchSettings settings;
    settings.wait_scale_percent = 7;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(save_settings(dir.string(), settings));
    release.join();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    BenchSettings loaded;
    ASSERT_TRUE(load_settings(dir.string(), loaded));
    EXPECT_EQ(loaded.wait_scale_percent, 7u);
}

}  // namespace
