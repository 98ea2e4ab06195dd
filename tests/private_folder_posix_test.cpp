// What needs a run killed outright or a file system without hard links: a killed run's folder is
// named by the runs after it and removed by the one that switches its cable back, while the
// programmer it left running still holds the cable; an update works where link() fails.
#include <chrono>
#include <thread>

#include "tests/bench_fixture.h"

namespace {

using PrivateFolder = BenchTest;

const char* const kCable = "USB-1";
const std::string kNamed =
    "Cable USB-1 was being updated by a run that was stopped; it may still be in select mode: run "
    "cablewright --cable \"USB-1\" --leave-select-mode\n";

TEST_F(PrivateFolder, AKilledRunsFolderIsNamedUntilItsCableIsSwitchedBack) {
    RomImage rom = cable_rom(3, 2, "101-0042", true);
    RomImage file = cable_rom(4, 2, "101-####", true);
    const RomImage merged = merged_image(rom, file);
    int id = add_cable(kCable, &rom);
    // The programmer outlives the run: it is killed once the programmer has been started.
    change_settings([](BenchSettings& s) { s.programmer = {ProgrammerMode::kHang, 3}; });
    ChildSpec killed = cablewright_child({"-c", kCable, write_pof("new.pof", file)});
    killed.args.insert(killed.args.begin(),
                       {"-c",
                        "\"$0\" \"$@\" >\"$ROOT/run.out\" 2>\"$ROOT/run.err\" & pid=$!; "
                        "until grep -q vantor_pgm \"$ROOT/run.err\"; do sleep 0.05; done; "
                        "exec 2>/dev/null; kill -KILL $pid; wait $pid; echo \"status $?\"",
                        killed.program});
    killed.program = "/bin/sh";
    killed.env.push_back({"ROOT", root_});
    ChildRun r = run(killed);
    EXPECT_EQ(r.out, "status 137\n");

    // The programmer it started still holds the cable.
    r = cablewright({"-c", kCable, "--leave-select-mode"});
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(r.err,
              "Leaving select mode on cable USB-1\nCable USB-1 is being updated by another "
              "cablewright run; nothing was changed\n");

    // Once it has ended, every run in the folder names the cable.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        r = cablewright({"-c", kCable});
    } while (r.err.find(kNamed) == std::string::npos &&
             std::chrono::steady_clock::now() < deadline);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Reprogramming cable USB-1\n" + kNamed + cable_line(merged) + "Finished\n");
    EXPECT_TRUE(cable(id).select_mode);

    // The run that switches the cable back removes the folder; after it nothing is named.
    r = cablewright({"-c", kCable, "--leave-select-mode"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "Leaving select mode on cable USB-1\n" + kNamed + cable_line(merged) + "Finished\n");
    EXPECT_FALSE(cable(id).select_mode);
    EXPECT_TRUE(private_folders().empty());
    r = cablewright({"-c", kCable});
    EXPECT_EQ(r.err, "Reprogramming cable USB-1\n" + cable_line(merged) + "Finished\n");
}

TEST_F(PrivateFolder, UpdateWorksWhereHardLinksFail) {
    RomImage rom = cable_rom(3, 2, "101-0042", true);
    RomImage file = cable_rom(4, 2, "101-####", true);
    int id = add_cable(kCable, &rom);
    const std::vector<std::pair<std::string, std::string>> no_links = {
        {"LD_PRELOAD", CW_NO_LINK_SHIM}, {"ASAN_OPTIONS", "verify_asan_link_order=0"}};

    // The shim does take links away.
    ChildSpec ln;
    ln.program = "/bin/ln";
    ln.args = {"new.pof", "linked.pof"};
    ln.folder = work_;
    ln.env = no_links;
    ChildSpec update = cablewright_child({"-c", kCable, write_pof("new.pof", file)});
    update.env.insert(update.env.end(), no_links.begin(), no_links.end());
    EXPECT_NE(run(ln).status, 0);

    ChildRun r = run(update);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(cable(id).rom, merged_image(rom, file));
    EXPECT_FALSE(temp_file_left());
}

}  // namespace
