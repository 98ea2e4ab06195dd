// A bench file is replaced even while another process has it open for reading, as the stand-in
// library does all the time; Windows refuses such a replacement until the reader lets go.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

#include "sim/bench.h"

namespace fs = std::filesystem;

namespace {

TEST(BenchReplace, AFileHeldOpenByAReaderIsStillReplaced) {
    const fs::path dir =
        fs::temp_directory_path() / ("cw_bench_replace_" + std::to_string(std::random_device{}()));
    ASSERT_TRUE(create_bench(dir.string()));
    std::FILE* reader = std::fopen((dir / "settings.txt").string().c_str(), "rb");
    ASSERT_NE(reader, nullptr);
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
    fs::remove_all(dir);
}

}  // namespace
