#include "sim/bench.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "sim/sim_test_support.h"

namespace {

CableRecord named(const std::string& name) {
    CableRecord record;
    record.name = name;
    return record;
}

std::vector<std::string> names_in_order(const std::string& dir) {
    std::vector<std::string> names;
    for (int id : list_cables(dir)) {
        CableRecord record;
        EXPECT_EQ(load_cable(dir, id, record), LoadResult::kLoaded);
        names.push_back(record.name);
    }
    return names;
}

TEST(Bench, CablesKeepTheirOrderOfAddition) {
    TempFolder dir;
    std::string bench = dir.path() + "/nested/bench";
    ASSERT_TRUE(create_bench(bench));
    EXPECT_TRUE(bench_exists(bench));
    ASSERT_TRUE(add_cable(bench, named("zeta")));
    ASSERT_TRUE(add_cable(bench, named("alpha \"1\"")));
    ASSERT_TRUE(add_cable(bench, named("mid")));
    ASSERT_TRUE(remove_cable(bench, "alpha \"1\""));
    ASSERT_TRUE(add_cable(bench, named("last")));
    EXPECT_EQ(names_in_order(bench), (std::vector<std::string>{"zeta", "mid", "last"}));
    EXPECT_FALSE(std::filesystem::exists(cable_lock_path(bench, 2)));
}

TEST(Bench, NamesAreUniqueNonEmptyAndLookedUpExactly) {
    TestBench dir;  // a bench made in a folder of its own
    ASSERT_TRUE(add_cable(dir.path(), named("USB-1")));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(add_cable(dir.path(), named("USB-1")));
    EXPECT_FALSE(add_cable(dir.path(), named("")));
    EXPECT_FALSE(remove_cable(dir.path(), "USB-2"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "bench: a cable named \"USB-1\" exists already\n"
              "bench: a cable name must be non-empty text\n"
              "bench: no cable named \"USB-2\"\n");
    const std::vector<int> ids = list_cables(dir.path());
    ASSERT_EQ(ids.size(), 1u);

    // Looked up by the exact name, and changed by id.
    const int first = ids.front();
    int second = 0;
    ASSERT_TRUE(add_cable(dir.path(), named("USB-1 "), &second));
    EXPECT_NE(first, second);

    CableRecord record;
    int id = 0;
    ASSERT_EQ(load_named_cable(dir.path(), "USB-1 ", record, &id), LoadResult::kLoaded);
    EXPECT_EQ(id, second);
    EXPECT_EQ(load_named_cable(dir.path(), "usb-1", record), LoadResult::kMissing);

    ASSERT_TRUE(update_cable(dir.path(), second, [](CableRecord& r) { r.select_mode = true; }));
    ASSERT_EQ(load_cable(dir.path(), second, record), LoadResult::kLoaded);
    EXPECT_TRUE(record.select_mode);
    ASSERT_EQ(load_cable(dir.path(), first, record), LoadResult::kLoaded);
    EXPECT_FALSE(record.select_mode);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(update_cable(dir.path(), 99, [](CableRecord&) {}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "bench: cable 99 is gone\n");
}

TEST(Bench, StrayFilesAreNotCablesAndBrokenFilesAreReported) {
    TestBench dir;  // a bench made in a folder of its own
    ASSERT_TRUE(add_cable(dir.path(), named("USB-1")));
    // What a writer killed before its rename leaves behind.
    std::ofstream(dir.path() + "/cable-000001.txt.tmp-0123456789abcdef") << "name=half";
    std::ofstream(dir.path() + "/cable-1.txt") << "name=short id";
    EXPECT_EQ(list_cables(dir.path()), std::vector<int>{1});

    std::ofstream(dir.path() + "/cable-000002.txt") << "name=x\nrom=zz\n";
    CableRecord record;
    testing::internal::CaptureStderr();
    EXPECT_EQ(load_cable(dir.path(), 2, record), LoadResult::kFailed);
    EXPECT_EQ(load_named_cable(dir.path(), "nobody", record), LoadResult::kFailed);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("cable-000002.txt line 2: bad value for rom"), std::string::npos) << err;
    EXPECT_EQ(load_cable(dir.path(), 3, record), LoadResult::kMissing);
}

TEST(Bench, SettingsDefaultWhenAbsent) {
    TempFolder dir;
    BenchSettings settings;
    settings.wait_scale_percent = 1;
    ASSERT_TRUE(load_settings(dir.path(), settings));
    EXPECT_EQ(settings.wait_scale_percent, 100u);
    settings.server_after_attempts = 2;
    ASSERT_TRUE(save_settings(dir.path(), settings));
    BenchSettings back;
    ASSERT_TRUE(load_settings(dir.path(), back));
    EXPECT_EQ(back.server_after_attempts, 2u);
    // create_bench keeps the settings of an existing bench.
    ASSERT_TRUE(create_bench(dir.path()));
    ASSERT_TRUE(load_settings(dir.path(), back));
    EXPECT_EQ(back.server_after_attempts, 2u);
}

TEST(Bench, NoBenchWithoutTheVariable) {
    ScopedEnv unset("LINKHUB_BENCH", nullptr);
    EXPECT_EQ(bench_dir_from_environment(), "");
    EXPECT_FALSE(bench_exists(""));
    ScopedEnv set("LINKHUB_BENCH", "/no/such/bench");
    EXPECT_EQ(bench_dir_from_environment(), "/no/such/bench");
    EXPECT_FALSE(bench_exists(bench_dir_from_environment()));
}

}  // namespace
