// Runs at once: two runs in one folder each use a folder of their own and both complete; a second
// run that would change a cable being updated is refused; a file put in the working folder while
// the programmer starts never reaches it.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <thread>

#include "tests/bench_fixture.h"

namespace fs = std::filesystem;

namespace {

class Concurrency : public BenchTest {
  protected:
    // Runs cablewright with args and calls meanwhile once it starts its programmer: its private
    // folder made and its cable's lock held.
    ChildRun while_programming(const std::vector<std::string>& args,
                               const std::function<void()>& meanwhile) {
        ChildSpec child = cablewright_child(args);
        child.interrupt_when = "vantor_pgm -c";
        child.interrupt_signal = 0;
        bool reached = false;
        child.before_interrupt = [&] {
            reached = true;
            meanwhile();
        };
        ChildRun r = run(child);
        EXPECT_TRUE(reached) << r.err;
        return r;
    }
};

TEST_F(Concurrency, TwoRunsInOneFolderBothComplete) {
    RomImage first_rom = cable_rom(3, 2, "AB-01", true);
    RomImage second_rom = cable_rom(3, 2, "AB-02", true);
    RomImage file = cable_rom(4, 2, "AB-##", true);
    int first = add_cable("First", &first_rom);
    int second = add_cable("Second", &second_rom);
    std::string pof = write_pof("new.pof", file);

    ChildRun second_run;
    ChildRun first_run = while_programming({"-c", "First", pof}, [&] {
        second_run = cablewright({"-c", "Second", pof});
    });

    for (const ChildRun* r : {&first_run, &second_run}) {
        EXPECT_EQ(r->status, 0) << r->err;
    }
    EXPECT_EQ(cable(first).rom, merged_image(first_rom, file));
    EXPECT_EQ(cable(second).rom, merged_image(second_rom, file));
    EXPECT_FALSE(temp_file_left());
}

// While one run updates a cable, another update of it from another folder, or a switch back
// under its programmer, is refused before it changes anything.
TEST_F(Concurrency, ASecondChangeOfACableBeingUpdatedIsRefused) {
    RomImage rom = cable_rom(3, 2, "AB-07", true);
    RomImage file = cable_rom(4, 2, "AB-##", true);
    const std::string pof = write_pof("new.pof", file);
    const std::string refusal =
        "Cable Shared is being updated by another cablewright run; nothing was changed\n";
    struct Case {
        const char* label;
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {"update from another folder",
         {"-c", "Shared", pof},
         "Reprogramming cable Shared\n" + cable_line(rom) + pof_line(file) + refusal},
        {"leave select mode",
         {"-c", "Shared", "--leave-select-mode"},
         "Leaving select mode on cable Shared\n" + refusal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TearDown();
        SetUp();
        int id = add_cable("Shared", &rom);
        write_pof(pof, file);
        fs::path other = fs::path(root_) / "other";
        fs::create_directories(other);
        fs::copy_file(fs::path(work_) / pof, other / pof);
        // The programmer takes its time, so the first run is surely still going; the second
        // run's read of the ROM waits for the chain lock the first holds in its pauses.
        change_settings([](BenchSettings& s) {
            s.programmer = {ProgrammerMode::kHang, 2};
            s.wait_scale_percent = 100;
        });

        ChildRun second;
        ChildRun first = while_programming({"-c", "Shared", pof}, [&] {
            ChildSpec second_child = cablewright_child(c.args);
            second_child.folder = other.string();
            second = run(second_child);
        });

        EXPECT_EQ(second.status, 8);
        EXPECT_EQ(second.err, console(c.err));
        EXPECT_EQ(first.status, 0) << first.err;
        CableRecord after = cable(id);
        EXPECT_FALSE(after.select_mode);
        EXPECT_EQ(after.rom, merged_image(rom, file));
        EXPECT_EQ(after.times_programmed, 1u);
        EXPECT_EQ(std::distance(fs::directory_iterator(other), fs::directory_iterator{}), 1)
            << "no private folder beside " << pof;
        EXPECT_FALSE(temp_file_left());
    }
}

// A programmer that takes 2 s to open its file, and a loop that keeps renaming a file with
// another cable's identity into the working folder under the temporary file's name: the
// programmer works in the run's private folder and never sees it.
TEST_F(Concurrency, AFileSwappedInWhileTheProgrammerStartsNeverReachesIt) {
    RomImage first_rom = cable_rom(3, 2, "AB-01", true);
    RomImage second_rom = cable_rom(3, 2, "AB-02", true);
    RomImage file = cable_rom(4, 2, "AB-##", true);
    int first = add_cable("First", &first_rom);
    int second = add_cable("Second", &second_rom);
    std::string pof = write_pof("new.pof", file);
    write_pof("racer.pof", merged_image(second_rom, file));
    change_settings([](BenchSettings& s) { s.programmer = {ProgrammerMode::kHang, 2}; });

    const fs::path work = work_;
    std::atomic<bool> done{false};
    std::size_t swaps = 0;
    std::thread racer;
    ChildRun run_a = while_programming({"-c", "First", pof}, [&] {
        racer = std::thread([&] {
            while (!done) {
                std::error_code error;
                fs::copy_file(work / "racer.pof", work / "swap.tmp",
                              fs::copy_options::overwrite_existing, error);
                fs::rename(work / "swap.tmp", work / "cablewright.tmp.pof", error);
                swaps += error ? 0 : 1;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    });
    done = true;
    if (racer.joinable()) {
        racer.join();
    }
    ASSERT_GT(swaps, 0u) << run_a.err;

    EXPECT_EQ(run_a.status, 0) << run_a.err;
    EXPECT_EQ(cable(first).rom, merged_image(first_rom, file));
    EXPECT_FALSE(cable(first).select_mode);
    EXPECT_EQ(cable(second).rom, second_rom);
    EXPECT_EQ(cable(second).times_programmed, 0u);
    EXPECT_TRUE(private_folders().empty());
    EXPECT_TRUE(fs::exists(work / "cablewright.tmp.pof")) << "the other file is left alone";
}

}  // namespace
