// The whole run in one process: the in-process fake library, a programmer that programs the
// fake cable from the temporary file, and pauses and prompts that are only logged.
#include "driver/reprogram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/message.h"
#include "driver/history.h"
#include "driver/history_file.h"
#include "handoff/programmer.h"
#include "image/pof_file.h"
#include "sim/pof_builder.h"
#include "sim/rom_recipe.h"
#include "testing/fake_linkhub.h"
#include "testing/json_reader.h"
#include "testing/rom_images.h"

namespace {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;

const char* const kCable = "USB-1 [1-1]";

// What the test's programmer and interrupt source do; reset for every case.
struct Script {
    bool programmer_succeeds = true;
    bool programmer_writes_rom = true;
    HWL_ERROR select_result_after_programming = HWL_OK;  // e.g. a failed switch back
    HWL_ERROR rom_result_after_programming = HWL_OK;     // e.g. a failed read-back
    const char* interrupt_at = "";     // the logged step at which an interrupt is recorded
    const char* replace_temp_at = "";  // the logged step at which another program replaces
                                       // the temporary file
    bool interrupted = false;
    bool replaced = false;
    const char* output_lost_at = nullptr;  // standard output fails from this logged step on
    bool output_lost = false;
    // How the programmer's process ended, as the real report prints it.
    ProcessOutcome programmer_end = ProcessOutcome::kFinished;
    const char* racer_at = "";  // the logged step at which racer.pof takes the temporary file's
                                // name in the working folder
    const char* change_cable_at = "";  // the logged step at which another cable takes the name
    const char* rom_fails_at = "";     // the logged step from which the cable's ROM cannot be read
    CableLockResult lock_result = CableLockResult::kHeld;
    bool folder_fails = false;
    // What the programmer does in its folder besides programming.
    bool programmer_leaves_file = false;
    bool programmer_deletes_file = false;
    ChildSetup programmer_setup;  // as the programmer was started
    std::string note_seen;        // the note in its folder, as the programmer found it
    long err_at_finish = -1;      // where standard error stood when the guard was finished
};
Script g_script;

// The private folders in the working folder, by name.
std::vector<std::string> private_folders() {
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(".")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kRunFolderPrefix, 0) == 0) {
            found.push_back(name);
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

void note(const std::string& step) {
    fake_linkhub_note(step);
    if (step == g_script.interrupt_at) {
        g_script.interrupted = true;
    }
    if (g_script.output_lost_at != nullptr && step == g_script.output_lost_at) {
        g_script.output_lost = true;
    }
    if (step == g_script.replace_temp_at) {
        // Windows refuses to delete a file its owner holds open; elsewhere it can be done.
        const std::string temp = private_folders().at(0) + "/" + kTempPofName;
        g_script.replaced =
            std::remove(temp.c_str()) == 0 && ::write_file(temp, {'o', 't', 'h', 'e', 'r'});
    }
    if (step == g_script.racer_at) {
        std::remove(kTempPofName);
        fs::copy_file("racer.pof", kTempPofName);
    }
    if (step == g_script.change_cable_at) {
        fake_linkhub().cables[0].rom_text = fake_rom_text(7, 3);
    }
    if (step == g_script.rom_fails_at) {
        fake_linkhub().cables[0].rom_result = 81;
    }
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Programs the fake cable from the file named in its command line, in the folder it was given.
bool test_programmer(const ProcessCommand& command, int timeout_ms, const ChildSetup& setup) {
    note("programmer " + std::to_string(timeout_ms) + " " + command.line);
    g_script.programmer_setup = setup;
    g_script.note_seen = read_text(setup.folder + "/cable");
    const std::string temp = setup.folder + "/" + kTempPofName;
    FakeCable& cable = fake_linkhub().cables[0];
    if (g_script.programmer_writes_rom) {
        PofImage written;
        if (!load_pof(temp.c_str(), written)) {
            return false;
        }
        cable.rom_text = hex_of(written.image);
    }
    if (g_script.programmer_leaves_file) {
        ::write_file(setup.folder + "/vantor.log", {'l', 'o', 'g'});
    }
    if (g_script.programmer_deletes_file) {
        std::remove(temp.c_str());
    }
    cable.select_result = g_script.select_result_after_programming;
    cable.rom_result = g_script.rom_result_after_programming;
    ProcessResult end;
    end.outcome = g_script.programmer_end;
    end.exit_status = g_script.programmer_succeeds ? 0 : 1;
    return report_programmer_end(end);
}

RunServices test_services() {
    RunServices services;
    services.pause = [](std::uint32_t ms, CableStep step) {
        note(std::string("pause ") + std::to_string(ms) +
             (step == CableStep::kEnterSelectMode ? " select" : " normal"));
    };
    services.wait = [](std::uint32_t ms) { note("wait " + std::to_string(ms)); };
    services.standard_output_written = [] {
        if (g_script.output_lost) {
            std::fputs("Unable to write to standard output\n", stderr);
        }
        return !g_script.output_lost;
    };
    services.run_programmer = test_programmer;
    services.prompt_jumpers = [](JumperMode mode) {
        note(mode == JumperMode::kReprogram ? "jumpers reprogram" : "jumpers normal");
    };
    services.arm_interrupt_guard = [] { note("arm"); };
    services.interrupt_requested = [] { return g_script.interrupted; };
    services.finish_interrupt_guard = [] {
        note("finish");
        std::fflush(stderr);
        g_script.err_at_finish = std::ftell(stderr);
    };
    // The host-wide lock is never taken here: test cases run side by side on one cable name.
    services.lock_cable = [](const std::string& name, CableLock&) {
        note("lock cable " + name);
        return g_script.lock_result;
    };
    services.make_run_folder = [](const std::string& cable, RunFolder& folder) {
        return !g_script.folder_fails && make_run_folder(cable, folder);
    };
    return services;
}

RomImage cable_image(std::uint16_t version, std::uint16_t id) {
    RomFields fields;
    fields.zan_version = version;
    fields.hardware_id = id;
    fields.serial = "A-0042";
    return make_rom(fields);
}

RomImage file_image(std::uint16_t version, std::uint16_t id) {
    RomFields fields;
    fields.zan_version = version;
    fields.hardware_id = id;
    fields.serial = "A-####";
    fields.product = "USB-2 file";
    return make_rom(fields);
}

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class Run : public testing::Test {
  protected:
    // Each case works in a folder of its own, where the run writes its temporary file.
    void SetUp() override {
        folder_.clear();
        home_ = fs::current_path();
        std::random_device random;
        for (int attempt = 0; attempt < 100 && folder_.empty(); ++attempt) {
            fs::path candidate = fs::temp_directory_path() / ("cw_run_" + std::to_string(random()));
            std::error_code error;
            if (fs::create_directory(candidate, error)) {
                folder_ = candidate;
            }
        }
        ASSERT_FALSE(folder_.empty());
        fs::current_path(folder_);
        g_script = Script{};
        reset_fake_linkhub();
        FakeCable cable;
        cable.name = kCable;
        fake_linkhub().cables.push_back(cable);
    }

    void TearDown() override {
        fs::current_path(home_);
        std::error_code error;
        fs::remove_all(folder_, error);
    }

    FakeCable& cable() { return fake_linkhub().cables[0]; }

    void write_pof(const RomImage& image) {
        PofRecipe recipe;
        recipe.image = image;
        ASSERT_TRUE(::write_file("new.pof", build_pof(recipe)));
    }

    Outcome run(const char* file, bool dry_run = false) {
        Outcome o = run_leaving_folders(file, dry_run);
        EXPECT_EQ(std::vector<std::string>{}, private_folders()) << "private folder left";
        return o;
    }

    Outcome run_leaving_folders(const char* file, bool dry_run = false) {
        Outcome o;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        Options options;
        options.cable = kCable;
        if (file != nullptr) {
            options.file = file;
        }
        options.dry_run = dry_run;
        o.status = reprogram_cable(options, test_services());
        std::fflush(stderr);
        const long err_end = std::ftell(stderr);
        o.err = testing::internal::GetCapturedStderr();
        // A second interrupt must not cut off the verdict: the guard goes after the last line.
        if (g_script.err_at_finish != -1) {
            EXPECT_GT(err_end, 0);
            EXPECT_EQ(err_end, g_script.err_at_finish) << "the guard finished before the last line";
        }
        o.out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(0, fake_locked_chains());
        return o;
    }

    // The steps of the run after the cable's ROM was first read.
    Log steps_after_first_read() const {
        const Log& log = fake_linkhub().log;
        const auto first_unlock =
            std::find(log.begin(), log.end(), std::string("unlock ") + kCable);
        return Log(first_unlock == log.end() ? log.end() : first_unlock + 1, log.end());
    }

  private:
    fs::path home_;
    fs::path folder_;
};

const std::string kFind = std::string("find ") + kCable + " 6000";
const std::string kLock = std::string("lock ") + kCable + " 10000";
const std::string kUnlock = std::string("unlock ") + kCable;
const std::string kRead = std::string("get_parameter ") + kCable + " InternalEepromContents 512";
const std::string kSelect = std::string("set_parameter ") + kCable + " InternalZanSelect 1";
const std::string kNormal = std::string("set_parameter ") + kCable + " InternalZanSelect 0";
const std::string kProgrammer =
    "programmer 60000 vantor_pgm -c \"USB-1 [1-1]\" -m jtag -o \"p;cablewright.tmp.pof\"";
const std::string kLockCable = std::string("lock cable ") + kCable;

TEST_F(Run, UpdateProgramsSwitchesBackAndReadsBack) {
    cable().rom_text = hex_of(cable_image(3, 2));
    write_pof(file_image(4, 2));
    Outcome o = run("new.pof");
    EXPECT_EQ(kStatusDone, o.status);
    EXPECT_EQ(std::string("Reprogramming cable USB-1 [1-1]\n") +
                  "Cable ZAN_version=3, hardware_id=2, signature present\n"
                  "POF ZAN_version=4, hardware_id=2, signature present\n"
                  "Finished\n",
              o.err);
    // The cable is locked before anything changes, and read again right before programming.
    EXPECT_EQ((Log{kLockCable, "arm",
                   kFind,      kLock,
                   kSelect,    "pause 3000 select",
                   kUnlock,    kFind,
                   kLock,      kRead,
                   kUnlock,    kProgrammer,
                   kFind,      kLock,
                   kNormal,    "pause 3000 normal",
                   kUnlock,    kFind,
                   kLock,      kRead,
                   kUnlock,    "finish"}),
              steps_after_first_read());
    EXPECT_EQ(0, cable().zan_select);
    // The programmer ran in the private folder, whose note named the cable and was handed on.
    EXPECT_EQ(0u, g_script.programmer_setup.folder.rfind(kRunFolderPrefix, 0))
        << g_script.programmer_setup.folder;
    EXPECT_EQ(kCable, g_script.note_seen);
    EXPECT_EQ(1u, g_script.programmer_setup.inherited.size()) << "the note; the lock is a fake";
    // The cable keeps its identity and takes the file's version.
    RomImage programmed = cable_image(3, 2);
    set_u16(programmed, kZanVersionOffset, 4);
    EXPECT_EQ(hex_of(programmed), cable().rom_text);
}

TEST_F(Run, HardwareIdOneAsksForTheJumpersAroundTheProgrammer) {
    cable().rom_text = hex_of(cable_image(3, 1));
    write_pof(file_image(4, 1));
    Outcome o = run("new.pof");
    EXPECT_EQ(kStatusDone, o.status);
    EXPECT_EQ((Log{kLockCable,  "arm",
                   kFind,       kLock,
                   kSelect,     "pause 3000 select",
                   kUnlock,     "jumpers reprogram",
                   kFind,       kLock,
                   kRead,       kUnlock,
                   kProgrammer, "jumpers normal",
                   kFind,       kLock,
                   kNormal,     "pause 3000 normal",
                   kUnlock,     kFind,
                   kLock,       kRead,
                   kUnlock,     "finish"}),
              steps_after_first_read());
}

// Every way the part in select mode can go wrong: the cable always ends in normal mode (unless
// the switch back itself failed), the file is always removed, and the status is 8.
TEST_F(Run, EveryFailureInSelectModeStillSwitchesBack) {
    struct Case {
        const char* label;
        void (*arrange)(FakeCable& cable, Script& script);
        std::string err_tail;  // after the POF line
        Log steps;
        std::int64_t zan_select;  // the cable's mode afterwards
    };
    const Log selected = {kLockCable, "arm", kFind, kLock, kSelect, "pause 3000 select", kUnlock};
    const Log read_again = {kFind, kLock, kRead, kUnlock};
    auto with = [](Log head, const Log& tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    const Log select_then_programmer = with(with(selected, read_again), {kProgrammer});
    const Log back = {kFind, kLock, kNormal, "pause 3000 normal", kUnlock};
    const Log read_back = {kFind, kLock, kRead, kUnlock};
    // Three tries, a second apart, each a whole locked operation.
    const Log failed_back = {kFind, kLock, kNormal, kUnlock};
    const Log failed_backs =
        with(with(with(with(failed_back, {"wait 1000"}), failed_back), {"wait 1000"}), failed_back);
    const std::string kSwitchFailed = "Error (Invalid parameter) when setting zan mode\n";
    const std::string kStillSelected =
        "Cable USB-1 [1-1] may still be in select mode: run cablewright with --cable and "
        "--leave-select-mode\n";
    const Case cases[] = {
        {"select mode refused", [](FakeCable& c, Script&) { c.select_result = 45; },
         kSwitchFailed + kSwitchFailed + kSwitchFailed + kSwitchFailed + kStillSelected,
         with({kLockCable, "arm", kFind, kLock, kSelect, kUnlock}, with(failed_backs, {"finish"})),
         -1},
        {"programmer fails", [](FakeCable&, Script& s) { s.programmer_succeeds = false; },
         "The programmer failed with exit status 1\n",
         with(with(select_then_programmer, back), {"finish"}), 0},
        // Whatever is left of a programmer that survived SIGKILL is stuck in the kernel, not
        // driving the cable: leaving select mode on would be the worse outcome.
        {"programmer cannot be stopped",
         [](FakeCable&, Script& s) { s.programmer_end = ProcessOutcome::kUnstoppable; },
         "The programmer could not be stopped\n",
         with(with(select_then_programmer, back), {"finish"}), 0},
        {"programmer's end unknown",
         [](FakeCable&, Script& s) { s.programmer_end = ProcessOutcome::kWaitFailed; },
         "Unable to collect the programmer's exit status\n",
         with(with(select_then_programmer, back), {"finish"}), 0},
        {"switch back fails", [](FakeCable&, Script& s) { s.select_result_after_programming = 45; },
         kSwitchFailed + kSwitchFailed + kSwitchFailed + kStillSelected,
         with(select_then_programmer, with(failed_backs, {"finish"})), 1},
        {"read-back fails", [](FakeCable&, Script& s) { s.rom_result_after_programming = 81; },
         "Error (Communications error) when reading EEPROM contents\n",
         with(with(with(select_then_programmer, back), read_back), {"finish"}), 0},
        {"read-back differs", [](FakeCable&, Script& s) { s.programmer_writes_rom = false; },
         "The cable's ROM does not match the programmed image\n",
         with(with(with(select_then_programmer, back), read_back), {"finish"}), 0},
        {"interrupt during the select pause",
         [](FakeCable&, Script& s) { s.interrupt_at = "pause 3000 select"; }, "Interrupted\n",
         with(selected, with(back, {"finish"})), 0},
        // The programmer finished its work all the same: the user learns that it is done.
        {"interrupt while programming",
         [](FakeCable&, Script& s) { s.interrupt_at = kProgrammer.c_str(); },
         "The cable was updated before the interrupt\nInterrupted\n",
         with(with(with(select_then_programmer, back), read_back), {"finish"}), 0},
        // Another cable at the name (unplugged and replugged while moving jumpers) must not get
        // this one's identity; a cable that cannot be read is not known to be the same.
        {"another cable at the name",
         [](FakeCable&, Script& s) { s.change_cable_at = "pause 3000 select"; },
         "Cable USB-1 [1-1] changed while it was in select mode; nothing was programmed\n",
         with(with(with(selected, read_again), back), {"finish"}), 0},
        {"cable unreadable in select mode",
         [](FakeCable&, Script& s) { s.rom_fails_at = "pause 3000 select"; },
         "Error (Communications error) when reading EEPROM contents\n",
         with(with(with(selected, read_again), back), {"finish"}), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TearDown();
        SetUp();
        cable().rom_text = hex_of(cable_image(3, 2));
        write_pof(file_image(4, 2));
        c.arrange(cable(), g_script);
        Outcome o = run("new.pof");
        EXPECT_EQ(kStatusFailed, o.status);
        EXPECT_EQ(std::string("Reprogramming cable USB-1 [1-1]\n") +
                      "Cable ZAN_version=3, hardware_id=2, signature present\n"
                      "POF ZAN_version=4, hardware_id=2, signature present\n" +
                      c.err_tail,
                  o.err);
        EXPECT_EQ(c.steps, steps_after_first_read());
        EXPECT_EQ(c.zan_select, cable().zan_select);
    }
}

// Until the private folder exists nothing has changed: no folder, no switch.
TEST_F(Run, NothingChangesBeforeThePrivateFolder) {
    struct Case {
        const char* label;
        const char* file;
        bool dry_run;
        CableLockResult lock;
        bool folder_fails;
        int status;
        const char* last_err_line;
    };
    const CableLockResult held = CableLockResult::kHeld;
    const Case cases[] = {
        {"show", nullptr, false, held, false, kStatusDone, "Finished\n"},
        {"dry run", "new.pof", true, held, false, kStatusDone,
         "POF ZAN_version=4, hardware_id=2, signature present\n"},
        {"unreadable file", "missing.pof", false, held, false, kStatusFailed,
         "Unable to open missing.pof\n"},
        {"cable being updated", "new.pof", false, CableLockResult::kBusy, false, kStatusFailed,
         "Cable USB-1 [1-1] is being updated by another cablewright run; nothing was changed\n"},
        {"lock unusable", "new.pof", false, CableLockResult::kFailed, false, kStatusFailed,
         "Unable to lock cable USB-1 [1-1]\n"},
        {"no folder", "new.pof", false, held, true, kStatusFailed,
         "Unable to write cablewright.tmp.pof\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TearDown();
        SetUp();
        cable().rom_text = hex_of(cable_image(3, 2));
        write_pof(file_image(4, 2));
        g_script.lock_result = c.lock;
        g_script.folder_fails = c.folder_fails;
        Outcome o = run(c.file, c.dry_run);
        EXPECT_EQ(c.status, o.status);
        ASSERT_GE(o.err.size(), std::string(c.last_err_line).size());
        EXPECT_EQ(c.last_err_line,
                  o.err.substr(o.err.size() - std::string(c.last_err_line).size()));
        EXPECT_EQ(c.dry_run,
                  o.out.find("Dry run requested, terminating before making any changes\n") !=
                      std::string::npos);
        EXPECT_EQ(-1, cable().zan_select) << "the cable was switched";
    }
}

// The programmer only ever gets this run's own file: a file put under its name in the working
// folder, or the user's own file of that name, never reaches it and is left alone.
TEST_F(Run, TheProgrammerGetsOnlyThisRunsFile) {
    RomImage programmed = cable_image(3, 2);
    set_u16(programmed, kZanVersionOffset, 4);
    for (const char* file : {"new.pof", "cablewright.tmp.pof", "sub/../cablewright.tmp.pof"}) {
        SCOPED_TRACE(file);
        TearDown();
        SetUp();
        cable().rom_text = hex_of(cable_image(3, 2));
        write_pof(file_image(5, 2));
        fs::rename("new.pof", "racer.pof");
        write_pof(file_image(4, 2));
        fs::create_directory("sub");
        fs::copy_file("new.pof", kTempPofName);
        // Another program puts a file for another cable under the name while the cable
        // switches.
        g_script.racer_at = "pause 3000 select";
        Outcome o = run(file);
        EXPECT_EQ(kStatusDone, o.status) << o.err;
        EXPECT_EQ(hex_of(programmed), cable().rom_text);
        EXPECT_EQ(read_text("racer.pof"), read_text(kTempPofName))
            << "the working folder's file is left alone";
    }
}

// The file in the private folder is still checked before the programmer starts and before it is
// deleted: something else there is neither programmed nor deleted.
TEST_F(Run, AFileReplacedInThePrivateFolderIsNotProgrammed) {
    cable().rom_text = hex_of(cable_image(3, 2));
    write_pof(file_image(4, 2));
    g_script.replace_temp_at = "pause 3000 select";
    const Outcome o = run_leaving_folders("new.pof");
    const int status = o.status;
    const std::string& err = o.err;
    if (!g_script.replaced) {
        EXPECT_EQ(kStatusDone, status) << "the file could not be replaced, so it was programmed";
        EXPECT_EQ(std::vector<std::string>{}, private_folders());
        return;
    }
    const std::vector<std::string> kept = private_folders();
    ASSERT_EQ(1u, kept.size());
    EXPECT_EQ(kStatusFailed, status);
    EXPECT_EQ(std::string("Reprogramming cable USB-1 [1-1]\n") +
                  "Cable ZAN_version=3, hardware_id=2, signature present\n"
                  "POF ZAN_version=4, hardware_id=2, signature present\n"
                  "Temporary file cablewright.tmp.pof was replaced by another program; nothing "
                  "was programmed\n"
                  "Folder " +
                  kept[0] + " was kept: the programmer left files in it\n",
              err);
    EXPECT_EQ(
        (Log{kLockCable, "arm", kFind, kLock, kSelect, "pause 3000 select", kUnlock, kFind, kLock,
             kRead, kUnlock, kFind, kLock, kNormal, "pause 3000 normal", kUnlock, "finish"}),
        steps_after_first_read());
    EXPECT_EQ(0, cable().zan_select);
    EXPECT_EQ("other", read_text(kept[0] + "/" + kTempPofName))
        << "the other program's file is left alone";
}

// The end of the private folder: our files go, a file already gone is no error, and whatever
// the programmer left there stays, with the folder, and is named.
TEST_F(Run, ThePrivateFolderGoesUnlessTheProgrammerLeftFilesInIt) {
    for (bool leaves_file : {false, true}) {
        SCOPED_TRACE(leaves_file ? "programmer leaves a file" : "programmer deletes ours");
        TearDown();
        SetUp();
        cable().rom_text = hex_of(cable_image(3, 2));
        write_pof(file_image(4, 2));
        g_script.programmer_leaves_file = leaves_file;
        g_script.programmer_deletes_file = !leaves_file;
        const Outcome o = run_leaving_folders("new.pof");
        EXPECT_EQ(kStatusDone, o.status);
        const std::string folder = g_script.programmer_setup.folder;
        const std::string kept =
            leaves_file ? "Folder " + folder + " was kept: the programmer left files in it\n" : "";
        EXPECT_EQ(std::string("Reprogramming cable USB-1 [1-1]\n") +
                      "Cable ZAN_version=3, hardware_id=2, signature present\n"
                      "POF ZAN_version=4, hardware_id=2, signature present\n" +
                      kept + "Finished\n",
                  o.err);
        EXPECT_EQ(leaves_file ? std::vector<std::string>{folder} : std::vector<std::string>{},
                  private_folders());
        if (leaves_file) {
            std::vector<std::string> left;
            for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
                left.push_back(entry.path().filename().string());
            }
            EXPECT_EQ(std::vector<std::string>{"vantor.log"}, left);
        }
    }
}

// A cable left in select mode by any run comes back with one command.
TEST_F(Run, LeaveSelectModeSwitchesBackAndShowsTheRom) {
    struct Case {
        const char* label;
        std::uint16_t hardware_id;
        HWL_ERROR select_result;
        CableLockResult lock;
        const char* name;
        int status;
        std::string err_tail;  // after "Leaving select mode on cable %s"
        Log steps;
        HWL_ERROR chain_lock = HWL_OK;
    };
    const std::string failed = "Error (Invalid parameter) when setting zan mode\n";
    const std::string missing = "Unable to find jtag cable \"USB-9\"\n";
    const Log failed_try = {kFind, kLock, kNormal, kUnlock};
    const Log missing_try = {"find USB-9 6000"};
    const Case cases[] = {
        {"back",
         2,
         HWL_OK,
         CableLockResult::kHeld,
         kCable,
         kStatusDone,
         "Cable ZAN_version=3, hardware_id=2, signature present\nFinished\n",
         {kFind, kLockCable, kFind, kLock, kNormal, "pause 3000 normal", kUnlock, kFind, kLock,
          kRead, kUnlock}},
        {"back with jumpers",
         1,
         HWL_OK,
         CableLockResult::kHeld,
         kCable,
         kStatusDone,
         "Cable ZAN_version=3, hardware_id=1, signature present\nFinished\n",
         {kFind, kLockCable, kFind, kLock, kNormal, "pause 3000 normal", kUnlock, kFind, kLock,
          kRead, kUnlock, "jumpers normal"}},
        {"refused three times",
         2,
         45,
         CableLockResult::kHeld,
         kCable,
         kStatusFailed,
         failed + failed + failed + "Cable USB-1 [1-1] may still be in select mode\n",
         {kFind, kLockCable, kFind, kLock, kNormal, kUnlock, "wait 1000", kFind, kLock, kNormal,
          kUnlock, "wait 1000", kFind, kLock, kNormal, kUnlock}},
        {"no such cable",
         2,
         HWL_OK,
         CableLockResult::kHeld,
         "USB-9",
         kStatusNoCable,
         missing,
         {"find USB-9 6000"}},
        // Not under a programmer that is still running.
        {"cable being updated",
         2,
         HWL_OK,
         CableLockResult::kBusy,
         kCable,
         kStatusFailed,
         "Cable USB-1 [1-1] is being updated by another cablewright run; nothing was changed\n",
         {kFind, kLockCable}},
        // Another program's lock on the chain: switching back was not even tried.
        {"chain held by another program",
         2,
         HWL_OK,
         CableLockResult::kHeld,
         kCable,
         kStatusFailed,
         "Cable USB-1 [1-1] is in use by another program; nothing was changed\n",
         {kFind, kLockCable, kFind, kLock},
         HWL_HARDWARE_IN_USE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TearDown();
        SetUp();
        cable().rom_text = hex_of(cable_image(3, c.hardware_id));
        cable().zan_select = 1;
        cable().select_result = c.select_result;
        cable().lock_result = c.chain_lock;
        g_script.lock_result = c.lock;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        Options options;
        options.cable = c.name;
        int status = leave_select_mode_run(options, test_services());
        std::string err = testing::internal::GetCapturedStderr();
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(c.status, status);
        EXPECT_EQ("Leaving select mode on cable " + std::string(c.name) + "\n" + c.err_tail, err);
        EXPECT_EQ(c.steps, fake_linkhub().log);
        EXPECT_EQ(c.status == kStatusDone ? 0 : 1, cable().zan_select);
        EXPECT_EQ(c.status == kStatusDone, out.rfind("Cable", 0) == 0) << "the ROM dump";
    }
}

// Folders that stopped runs left in the working folder: each one whose note names a cable and is
// held by nobody is named after the heading of every run there, until a run that holds that
// cable and switched it back removes it. A live run's folder, an empty note and a folder without
// one are not stopped runs'.
TEST_F(Run, StoppedRunsFoldersAreNamedUntilTheirCableIsSwitchedBack) {
    const std::string kOther = "USB-2\x1b[2J\n";
    const std::string named =
        "Cable USB-1 [1-1] was being updated by a run that was stopped; it may still be in select "
        "mode: run cablewright --cable \"USB-1 [1-1]\" --leave-select-mode\n"
        "Cable USB-2\\x1B[2J\\x0A was being updated by a run that was stopped; it may still be in "
        "select mode: run cablewright --cable \"USB-2\\x1B[2J\\x0A\" --leave-select-mode\n";
    struct Case {
        const char* label;
        bool leave_select_mode;
        const char* file;
        void (*arrange)(Script& script);
        int status;
        bool removed;  // the stopped run's folder of this cable is gone
    };
    const Case cases[] = {
        {"show", false, nullptr, [](Script&) {}, kStatusDone, false},
        {"update", false, "new.pof", [](Script&) {}, kStatusDone, true},
        {"update, switch back fails", false, "new.pof",
         [](Script& s) { s.select_result_after_programming = 45; }, kStatusFailed, false},
        {"update of a cable being updated", false, "new.pof",
         [](Script& s) { s.lock_result = CableLockResult::kBusy; }, kStatusFailed, false},
        {"leave select mode", true, nullptr, [](Script&) {}, kStatusDone, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TearDown();
        SetUp();
        cable().rom_text = hex_of(cable_image(3, 2));
        write_pof(file_image(4, 2));
        const std::vector<std::pair<std::string, const char*>> folders = {
            {".cablewright-a", kCable},
            {".cablewright-b", kOther.c_str()},
            {".cablewright-c", ""},
            {".cablewright-d", nullptr}};
        for (const auto& folder : folders) {
            fs::create_directory(folder.first);
            if (folder.second != nullptr) {
                const std::string note = folder.second;
                ASSERT_TRUE(::write_file(folder.first + "/cable", {note.begin(), note.end()}));
            }
        }
        ASSERT_TRUE(::write_file(".cablewright-a/cablewright.tmp.pof", {1, 2, 3}));
        ASSERT_TRUE(::write_file(".cablewright-e", {}));
        RunFolder live;
        ASSERT_TRUE(make_run_folder(kCable, live));
        c.arrange(g_script);

        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        Options options;
        options.cable = kCable;
        if (c.file != nullptr) {
            options.file = c.file;
        }
        int status = c.leave_select_mode ? leave_select_mode_run(options, test_services())
                                         : reprogram_cable(options, test_services());
        std::string err = testing::internal::GetCapturedStderr();
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(c.status, status) << err;
        const std::string heading =
            c.leave_select_mode ? "Leaving select mode on cable " : "Reprogramming cable ";
        EXPECT_EQ(0u, err.rfind(heading + kCable + "\n" + named, 0)) << err;
        EXPECT_EQ(std::string::npos, err.find(named, err.find(named) + 1)) << "named once";

        std::vector<std::string> expected = {".cablewright-b", ".cablewright-c", ".cablewright-d",
                                             ".cablewright-e", live.path};
        if (!c.removed) {
            expected.push_back(".cablewright-a");
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, private_folders());
        EXPECT_EQ(kCable, read_text(live.path + "/cable")) << "a live run's folder is untouched";
        EXPECT_EQ(FolderRemoval::kRemoved, remove_run_folder(live));
    }
}

// A dump the user never got ends the run while nothing has changed; once the temporary file
// exists, output troubles no longer stop anything.
TEST_F(Run, LostStandardOutputEndsTheRunOnlyBeforeTheTemporaryFile) {
    struct Case {
        const char* label;
        const char* file;
        bool dry_run;
        const char* output_lost_at;  // a logged step; empty: lost from the start
        int status;
        const char* last_err_line;
        std::int64_t zan_select;  // the cable's mode afterwards; -1: never switched
    };
    const Case cases[] = {
        {"show", nullptr, false, "", kStatusFailed, "Unable to write to standard output\n", -1},
        {"dry run", "new.pof", true, "", kStatusFailed, "Unable to write to standard output\n", -1},
        {"update", "new.pof", false, "", kStatusFailed, "Unable to write to standard output\n", -1},
        {"update, lost once the file exists", "new.pof", false, "arm", kStatusDone, "Finished\n",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TearDown();
        SetUp();
        cable().rom_text = hex_of(cable_image(3, 2));
        write_pof(file_image(4, 2));
        g_script.output_lost_at = c.output_lost_at;
        g_script.output_lost = *c.output_lost_at == '\0';
        Outcome o = run(c.file, c.dry_run);
        EXPECT_EQ(c.status, o.status);
        ASSERT_GE(o.err.size(), std::string(c.last_err_line).size());
        EXPECT_EQ(c.last_err_line,
                  o.err.substr(o.err.size() - std::string(c.last_err_line).size()));
        EXPECT_EQ(std::string::npos,
                  o.out.find("Dry run requested, terminating before making any changes\n"));
        EXPECT_EQ(c.zan_select, cable().zan_select);
    }
}

// The records a run leaves in its history, read with a strict JSON reader.
std::vector<Json> history_records(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<Json> records;
    std::string line;
    while (std::getline(in, line)) {
        Json record;
        std::string error;
        EXPECT_TRUE(read_json(line, record, error)) << error << ": " << line;
        records.push_back(record);
    }
    return records;
}

// The lines of text, without their ends.
Log lines_of(const std::string& text) {
    Log lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

bool is_time(const std::string& text) {
    const std::string shape = "dddd-dd-ddTdd:dd:dd.dddZ";
    if (text.size() != shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i]))
                            : text[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

const Log kStartKeys = {"record",       "run",         "time",        "host",
                        "user",         "version",     "pid",         "argv",
                        "cwd",          "cable",       "action",      "serial_requested",
                        "rom",          "zan_version", "hardware_id", "serial",
                        "product_name", "signature",   "file"};
const Log kEndKeys = {"record",
                      "run",
                      "time",
                      "pid",
                      "cable",
                      "merged",
                      "read_back",
                      "status",
                      "outcome",
                      "messages",
                      "serial_after",
                      "zan_version_after",
                      "hardware_id_after",
                      "programmer_started"};

// A blank cable's serial comes from the range through the history: the lowest one free, written
// as a serial record between the run's start and end before the cable is touched.
TEST_F(Run, SerialsFromARangeAreTakenThroughTheHistory) {
    const std::string other = R"({"record":"serial","run":"0","cable":"U","serial":"A-0100"})"
                              "\n";
    struct Case {
        const char* label;
        bool blank_cable;
        std::string history;
        const char* range;
        bool dry_run;
        int status;
        const char* kinds;  // the records, old and new
        const char* serial_after;
        const char* last_line;
    };
    const Case cases[] = {
        {"lowest free", true, other, "A-0100..A-0199", false, 0, "serial start serial end ",
         "A-0101", "Finished"},
        {"a dry run only looks", true, "", "A-0100..A-0199", true, 0, "start end ", "",
         "POF ZAN_version=4, hardware_id=2, signature present"},
        {"none left", true, other, "A-0100..A-0100", false, 8, "serial start end ", "",
         "No serial number left in A-0100..A-0100"},
        {"format does not fit", true, "", "B-0100..B-0199", false, 8, "start end ", "",
         "Serial range B-0100..B-0199 does not match the format A-####"},
        {"a cable with a serial keeps it", false, "", "B-0100..B-0199", false, 0, "start end ",
         "A-0042", "Finished"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TearDown();
        SetUp();
        cable().rom_text = c.blank_cable ? "empty" : hex_of(cable_image(3, 2));
        write_pof(file_image(4, 2));
        std::ofstream("history.jsonl") << c.history;
        const char* const argv[] = {"cablewright"};
        RunLog log;
        ASSERT_TRUE(open_run_log(log, "history.jsonl", 1, argv, nullptr));
        Options options;
        options.cable = kCable;
        options.file = "new.pof";
        options.serials = c.range;
        options.dry_run = c.dry_run;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.status, reprogram_cable(options, test_services(), &log));
        const Log err = lines_of(testing::internal::GetCapturedStderr());
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_FALSE(err.empty());
        EXPECT_EQ(c.last_line, err.back());
        std::string kinds;
        for (const Json& record : history_records("history.jsonl")) {
            kinds += text_of(record, "record") + " ";
        }
        EXPECT_EQ(c.kinds, kinds);
        const Json end = history_records("history.jsonl").back();
        EXPECT_EQ(c.serial_after, text_of(end, "serial_after"));
        if (c.dry_run) {
            EXPECT_NE(std::string::npos, out.find("A-0100")) << "the merged image shows it";
        }
        const bool programmed = c.status == 0 && !c.dry_run;
        EXPECT_EQ(programmed, std::count(fake_linkhub().log.begin(), fake_linkhub().log.end(),
                                         kProgrammer) == 1);
    }
}

// Each action against the fake cable: the records it should write, and an end record whose
// messages are exactly the lines the run printed on standard error before it.
TEST_F(Run, EachActionWritesItsRecords) {
    struct Case {
        const char* label;
        bool blank_cable;
        std::uint16_t file_version;
        const char* file;
        bool dry_run;
        const char* serial;
        const char* interrupt_at;
        HWL_ERROR find_result;
        int status;
        const char* action;  // null: no start record
        const char* outcome;
        bool merged, read_back;
        const char* after;  // serial_after zan_version_after programmer_started
    };
    const Case cases[] = {
        {"show", false, 4, nullptr, false, nullptr, "", HWL_OK, 0, "show", "done", false, false,
         "A-0042 3 false"},
        {"dry run", false, 4, "new.pof", true, nullptr, "", HWL_OK, 0, "dry-run", "done", true,
         false, "A-0042 3 false"},
        {"update", false, 4, "new.pof", false, nullptr, "", HWL_OK, 0, "update", "done", true, true,
         "A-0042 4 true"},
        {"initialise", true, 4, "new.pof", false, "A-0107", "", HWL_OK, 0, "initialise", "done",
         true, true, "A-0107 4 true"},
        {"refused", false, 3, "new.pof", false, nullptr, "", HWL_OK, 8, "update", "refused", false,
         false, "A-0042 3 false"},
        {"refused initialise", true, 4, "new.pof", false, "B-1", "", HWL_OK, 8, "initialise",
         "refused", false, false, " 0 false"},
        {"interrupted", false, 4, "new.pof", false, nullptr, "pause 3000 select", HWL_OK, 8,
         "update", "interrupted", true, false, "A-0042 3 false"},
        {"unreadable file", false, 4, "missing.pof", false, nullptr, "", HWL_OK, 8, nullptr,
         "failed", false, false, "null null false"},
        {"cable not found", false, 4, "new.pof", false, nullptr, "", 1, 12, nullptr, "failed",
         false, false, "null null false"},
    };
    const char* const argv[] = {"cablewright", "--log", "history.jsonl", "-c", kCable};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TearDown();
        SetUp();
        RomImage rom = cable_image(3, 2);
        if (c.blank_cable) {
            rom = RomImage{};
        }
        cable().rom_text = c.blank_cable ? "empty" : hex_of(rom);
        cable().find_result = c.find_result;
        write_pof(file_image(c.file_version, 2));
        g_script.interrupt_at = c.interrupt_at;

        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        RunLog log;
        ASSERT_TRUE(
            open_run_log(log, "history.jsonl", 5, argv, [] { return g_script.interrupted; }));
        Options options;
        options.cable = kCable;
        if (c.file != nullptr) {
            options.file = c.file;
        }
        if (c.serial != nullptr) {
            options.serial = c.serial;
        }
        options.dry_run = c.dry_run;
        int status = reprogram_cable(options, test_services(), &log);
        std::string err = testing::internal::GetCapturedStderr();
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(c.status, status);

        std::vector<Json> records = history_records("history.jsonl");
        ASSERT_EQ(c.action != nullptr ? 2u : 1u, records.size());
        const Json& end = records.back();
        EXPECT_EQ(kEndKeys, keys_of(end));
        EXPECT_EQ("end", text_of(end, "record"));
        EXPECT_EQ(kCable, text_of(end, "cable"));
        EXPECT_EQ(std::to_string(c.status), text_of(end, "status"));
        EXPECT_EQ(c.outcome, text_of(end, "outcome"));
        EXPECT_TRUE(is_time(text_of(end, "time"))) << text_of(end, "time");
        const std::string merged = text_of(end, "merged");
        EXPECT_EQ(c.merged, merged != "null");
        EXPECT_EQ(c.read_back ? merged : "null", text_of(end, "read_back"));
        EXPECT_EQ(c.after, text_of(end, "serial_after") + " " + text_of(end, "zan_version_after") +
                               " " + text_of(end, "programmer_started"));

        Log printed = lines_of(err);
        const std::string last = c.status == 0 ? "Finished" : "Interrupted";
        if (!printed.empty() && printed.back() == last) {
            printed.pop_back();
        }
        if (std::string(c.outcome) == "interrupted") {
            printed.push_back(kInterruptAcknowledgement);
            EXPECT_EQ("Interrupted\n", err.substr(err.size() - 12));
        }
        Log messages;
        for (const Json& line : end.at("messages")) {
            messages.push_back(text_of(line));
        }
        EXPECT_EQ(printed, messages);
        if (c.action == nullptr) {
            continue;
        }

        const Json& start = records.front();
        EXPECT_EQ(kStartKeys, keys_of(start));
        EXPECT_EQ("start", text_of(start, "record"));
        const std::string run = text_of(start, "run");
        EXPECT_EQ(16u, run.size());
        EXPECT_EQ(std::string::npos, run.find_first_not_of("0123456789ABCDEF")) << run;
        EXPECT_EQ(run, text_of(end, "run"));
        EXPECT_EQ(text_of(start, "pid"), text_of(end, "pid"));
        EXPECT_EQ(c.action, text_of(start, "action"));
        EXPECT_EQ(fs::current_path().string(), text_of(start, "cwd"));
        EXPECT_EQ(c.serial != nullptr ? c.serial : "null", text_of(start, "serial_requested"));
        EXPECT_EQ(kCable, text_of(start, "cable"));
        EXPECT_EQ(hex_of(rom), text_of(start, "rom"));
        EXPECT_EQ(c.blank_cable ? "" : "A-0042", text_of(start, "serial"));
        EXPECT_EQ(c.blank_cable ? "0" : "3", text_of(start, "zan_version"));
        EXPECT_EQ(c.blank_cable ? "false" : "true", text_of(start, "signature"));
        Log args;
        for (const Json& arg : start.at("argv")) {
            args.push_back(text_of(arg));
        }
        EXPECT_EQ(Log(argv, argv + 5), args);
        const Json& pof = start.at("file");
        if (c.file == nullptr) {
            EXPECT_TRUE(pof.is_null());
        } else {
            PofImage loaded;
            ASSERT_TRUE(load_pof("new.pof", loaded));
            char crc[5];
            std::snprintf(crc, sizeof crc, "%04X", pof_crc(loaded));
            EXPECT_EQ((Log{"path", "absolute_path", "size", "crc"}), keys_of(pof));
            EXPECT_EQ(c.file, text_of(pof, "path"));
            EXPECT_EQ(fs::absolute(c.file).string(), text_of(pof, "absolute_path"));
            EXPECT_EQ(std::to_string(loaded.length), text_of(pof, "size"));
            EXPECT_EQ(crc, text_of(pof, "crc"));
        }
    }
}

TEST(History, TimesAreUtcWithMilliseconds) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "1970-01-01T00:00:00.000Z"},
        {951782400123, "2000-02-29T00:00:00.123Z"},
        {1735689599999, "2024-12-31T23:59:59.999Z"},
        {4107542400000, "2100-03-01T00:00:00.000Z"},
        {-1, "1969-12-31T23:59:59.999Z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.second, utc_time_text(c.first)) << c.first;
    }
}

// The history must be there before any cable is touched.
TEST_F(Run, AnUnusableHistoryTouchesNoCable) {
    const char* const argv[] = {"cablewright"};
    for (const char* path : {".", "no/such/folder/history.jsonl"}) {
        SCOPED_TRACE(path);
        RunLog log;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(open_run_log(log, path, 1, argv, nullptr));
        EXPECT_EQ(std::string("Unable to open log ") + path + "\n",
                  testing::internal::GetCapturedStderr());
    }
}

// Returning a cable from select mode leaves a history too: the start before the switch, with no
// ROM, and the end with the ROM read afterwards.
TEST_F(Run, LeaveSelectModeWritesItsRecords) {
    cable().rom_text = hex_of(cable_image(3, 2));
    cable().zan_select = 1;
    const char* const argv[] = {"cablewright", "--log", "history.jsonl", "--leave-select-mode"};
    RunLog log;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(open_run_log(log, "history.jsonl", 4, argv, [] { return false; }));
    Options options;
    options.cable = kCable;
    int status = leave_select_mode_run(options, test_services(), &log);
    std::string err = testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(kStatusDone, status);
    std::vector<Json> records = history_records("history.jsonl");
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("leave-select-mode", text_of(records[0], "action"));
    EXPECT_EQ("null", text_of(records[0], "rom"));
    EXPECT_EQ(kCable, text_of(records[0], "cable"));
    EXPECT_EQ("done", text_of(records[1], "outcome"));
    EXPECT_EQ(hex_of(cable_image(3, 2)), text_of(records[1], "read_back"));
    EXPECT_EQ(text_of(records[0], "run"), text_of(records[1], "run"));
    ASSERT_TRUE(records[1].contains("messages"));
    Log logged;
    for (const Json& line : records[1].at("messages")) {
        logged.push_back(text_of(line));
    }
    Log printed = lines_of(err);
    ASSERT_FALSE(printed.empty());
    EXPECT_EQ("Finished", printed.back());
    printed.pop_back();  // printed after the end record
    EXPECT_EQ(printed, logged);

    // An interrupt at its jumper screen (end of input is one) ends it as interrupted.
    TearDown();
    SetUp();
    cable().rom_text = hex_of(cable_image(3, 1));
    cable().zan_select = 1;
    g_script.interrupt_at = "jumpers normal";
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(open_run_log(log, "history.jsonl", 4, argv, [] { return g_script.interrupted; }));
    EXPECT_EQ(kStatusFailed, leave_select_mode_run(options, test_services(), &log));
    EXPECT_EQ(std::string("Leaving select mode on cable ") + kCable +
                  "\nCable ZAN_version=3, hardware_id=1, signature present\nInterrupted\n",
              testing::internal::GetCapturedStderr());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(0, cable().zan_select);
    records = history_records("history.jsonl");
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("interrupted", text_of(records[1], "outcome"));

    // As in other runs, a cable that was never found gets only the end record.
    TearDown();
    SetUp();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(open_run_log(log, "history.jsonl", 4, argv, [] { return false; }));
    options.cable = "USB-9";
    EXPECT_EQ(kStatusNoCable, leave_select_mode_run(options, test_services(), &log));
    testing::internal::GetCapturedStderr();
    records = history_records("history.jsonl");
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("end", text_of(records[0], "record"));
    EXPECT_EQ("failed", text_of(records[0], "outcome"));
}

}  // namespace

// Another program holds the history when the update's end record is due, and the user
// interrupts the wait: no record, and the run ends as interrupted, never "Finished".
TEST_F(Run, AnInterruptEndsTheWaitForTheHistory) {
    cable().rom_text = hex_of(cable_image(3, 2));
    write_pof(file_image(4, 2));
    static HistoryFile* holder = nullptr;
    static bool held = false;
    held = false;
    holder = open_history_file("history.jsonl");
    ASSERT_NE(nullptr, holder);
    RunServices services = test_services();
    // Taken while the cable settles back in normal mode, before the end record.
    services.pause = [](std::uint32_t, CableStep step) {
        if (step == CableStep::kLeaveSelectMode) {
            held = lock_history_file(holder, 0, nullptr);
        }
    };
    const char* const argv[] = {"cablewright"};
    RunLog log;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    // The interrupt arrives while the run waits for the lock.
    ASSERT_TRUE(
        open_run_log(log, "history.jsonl", 1, argv, [] { return g_script.interrupted = held; }));
    Options options;
    options.cable = kCable;
    options.file = "new.pof";
    int status = reprogram_cable(options, services, &log);
    std::string err = testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    unlock_history_file(holder);
    close_history_file(holder);
    EXPECT_TRUE(held);
    EXPECT_EQ(kStatusFailed, status);
    EXPECT_EQ(
        "Unable to write log history.jsonl\nThe cable was updated before the interrupt\n"
        "Interrupted\n",
        err.substr(err.find("Unable to write log")));
    EXPECT_EQ(1u, history_records("history.jsonl").size());
}
