#include "driver/reprogram.h"

#include <cstdio>

#include "cable/cable_operation.h"
#include "cable/cable_read.h"
#include "cable/cable_select.h"
#include "cable/error_name.h"
#include "cable/linkhub_client.h"
#include "common/message.h"
#include "driver/cable_report.h"
#include "driver/ledger.h"
#include "driver/reconcile.h"
#include "handoff/programmer.h"
#include "image/pof_file.h"

namespace {

// Cables with this hardware id need their daughter-card jumpers moved by hand.
constexpr std::uint16_t kJumperHardwareId = 1;

// Reads the ROM back after programming: the programmer's exit status alone does not prove
// that the identity reached the cable.
bool verify_rom(const std::string& name, const RomImage& expected, RunLog& log) {
    RomImage read_back;
    if (read_cable_rom(name.c_str(), read_back) != kStatusDone) {
        return false;
    }
    log.read_back = read_back;
    if (read_back != expected) {
        dump_rom("Read back", read_back);
        put_message("The cable's ROM does not match the programmed image\n");
        return false;
    }
    return true;
}

// Switching back is worth a few tries: a cable left in select mode no longer works as a cable.
constexpr int kLeaveSelectAttempts = 3;
constexpr std::uint32_t kLeaveSelectRetryMs = 1000;

// Returns the last try's result: kStatusDone once one succeeded. With in_use given, a chain that
// another program holds ends the tries at once, unreported, with in_use set.
int leave_select_mode(const std::string& name, const RunServices& services,
                      bool* in_use = nullptr) {
    int result = kStatusFailed;
    for (int attempt = 1; attempt <= kLeaveSelectAttempts && result != kStatusDone; ++attempt) {
        if (attempt > 1) {
            services.wait(kLeaveSelectRetryMs);
        }
        if (in_use == nullptr) {
            result =
                operate_cable(name.c_str(), CableStep::kLeaveSelectMode, nullptr, services.pause);
            continue;
        }
        result = switch_unless_in_use(name.c_str(), CableStep::kLeaveSelectMode, services.pause,
                                      *in_use);
        if (*in_use) {
            break;
        }
    }
    return result;
}

// Names the cable of each private folder in the working folder that a stopped run left behind.
void report_left_folders() {
    for (const LeftFolder& left : find_left_folders()) {
        const std::string shown = visible_text(left.cable);
        print_message(
            "Cable %s was being updated by a run that was stopped; it may still be in select "
            "mode: run cablewright --cable \"%s\" --leave-select-mode\n",
            shown.c_str(), shown.c_str());
    }
}

// What every run does first: the library's own messages are shown from here on, the cable is
// the one named or the one suitable cable, `heading` (with the cable's name) says what the run
// does to it, and stopped runs' folders are named. False, after its message, when no cable was
// chosen.
bool start_run(const std::optional<std::string>& cable, const char* heading, RunLog& log,
               std::string& name) {
    hwl_register_output_callback(print_library_message, nullptr);
    if (cable) {
        name = *cable;
    } else if (!select_cable(name)) {
        return false;
    }
    log.cable = name;
    print_message(heading, name.c_str());
    report_left_folders();
    return true;
}

// A run that holds the cable's lock and switched the cable back has made its left folders
// pointless: nothing of theirs is still running, and the cable is in normal mode.
void remove_left_folders_of(const std::string& name) {
    for (const LeftFolder& left : find_left_folders()) {
        if (left.cable == name && remove_left_folder(left) == FolderRemoval::kKept) {
            print_message("Folder %s was kept: the programmer left files in it\n",
                          left.path.c_str());
        }
    }
}

// The lock a run holds from before it changes the cable until its end.
struct HeldCable {
    CableLock lock;
    ~HeldCable() { unlock_cable(lock); }
};

// Takes the cable's host-wide lock. False, after its message, when another run (or the
// programmer a killed run left) is updating the cable, or the lock cannot be used; `outcome`
// then says which.
bool lock_for_change(const std::string& name, const RunServices& services, HeldCable& held,
                     RunOutcome& outcome) {
    switch (services.lock_cable(name, held.lock)) {
        case CableLockResult::kHeld:
            return true;
        case CableLockResult::kBusy:
            print_message(
                "Cable %s is being updated by another cablewright run; nothing was changed\n",
                name.c_str());
            outcome = RunOutcome::kRefused;
            return false;
        case CableLockResult::kFailed:
            break;
    }
    print_message("Unable to lock cable %s\n", name.c_str());
    outcome = RunOutcome::kFailed;
    return false;
}

// True when the cable at name still has the ROM read at the start: a cable unplugged and
// another plugged in under the same name (as when jumpers are moved) must not receive the first
// one's identity. Otherwise prints why.
bool still_the_same_cable(const std::string& name, const RomImage& first_read) {
    RomImage now;
    if (read_cable_rom(name.c_str(), now) != kStatusDone) {
        return false;
    }
    if (now != first_read) {
        print_message("Cable %s changed while it was in select mode; nothing was programmed\n",
                      name.c_str());
        return false;
    }
    return true;
}

// Removes the run's temporary file and private folder. False when the file was not ours any more.
bool remove_own_files(RunFolder& folder, TempFile& temp_file, bool replacement_reported) {
    bool ours = true;
    const std::string path = folder.path + "/" + kTempPofName;
    switch (remove_temp_file(temp_file, path.c_str())) {
        case TempFileRemoval::kRemoved:
        case TempFileRemoval::kGone:
            break;
        case TempFileRemoval::kReplaced:
            // The other file is left alone: it is not ours to delete.
            if (!replacement_reported) {
                print_message("Temporary file %s was replaced by another program\n", kTempPofName);
            }
            ours = false;
            break;
        case TempFileRemoval::kFailed:
            print_message("Unable to delete %s\n", kTempPofName);
            break;
    }
    const std::string folder_path = folder.path;
    switch (remove_run_folder(folder)) {
        case FolderRemoval::kRemoved:
            break;
        case FolderRemoval::kKept:
            print_message("Folder %s was kept: the programmer left files in it\n",
                          folder_path.c_str());
            break;
        case FolderRemoval::kFailed:
            print_message("Unable to delete %s\n", folder_path.c_str());
            break;
    }
    return ours;
}

// Said before "Interrupted" when the programmer ran and the read-back matched all the same.
constexpr char kUpdatedBeforeInterrupt[] = "The cable was updated before the interrupt\n";

// From the written temporary file to its deletion nothing ends the run early: the cable must
// never be left in select mode, nor the private folder left behind.
RunOutcome update_in_select_mode(const std::string& name, const PofImage& pof, std::uint16_t id,
                                 const RomImage& first_read, const HeldCable& held,
                                 RunFolder& folder, TempFile& temp_file,
                                 const RunServices& services, RunLog& log) {
    bool selected = false;
    bool programmed = false;
    bool replaced = false;  // reported once, when it kept the programmer from running
    if (!services.interrupt_requested()) {
        selected = operate_cable(name.c_str(), CableStep::kEnterSelectMode, nullptr,
                                 services.pause) == kStatusDone;
    }
    // In normal mode the programmer would reach the board behind the cable, not the cable's
    // own device, so it runs only when select mode was entered.
    if (selected) {
        // After an interrupt nothing will be programmed: no call to move the jumpers for it.
        if (id == kJumperHardwareId && !services.interrupt_requested()) {
            services.prompt_jumpers(JumperMode::kReprogram);
        }
        // After an interrupt nothing is started; the run reports it once the cable is back. A
        // file put in place of ours would carry another cable's identity.
        if (!services.interrupt_requested() && still_the_same_cable(name, first_read)) {
            replaced = !temp_file_in_place(temp_file, (folder.path + "/" + kTempPofName).c_str());
            if (!replaced) {
                // Started in the private folder, so the bare name reaches our file alone; it
                // holds the cable's lock and the note for as long as it lives.
                ChildSetup setup;
                setup.folder = folder.path;
                for (std::intptr_t handle : {held.lock.handle, folder.note}) {
                    if (handle != -1) {
                        setup.inherited.push_back(handle);
                    }
                }
                log.programmer_started = true;
                programmed = services.run_programmer(programmer_command(name, kTempPofName),
                                                     kProgrammerTimeoutMs, setup);
            } else {
                print_message(
                    "Temporary file %s was replaced by another program; nothing was "
                    "programmed\n",
                    kTempPofName);
            }
        }
        if (id == kJumperHardwareId) {
            services.prompt_jumpers(JumperMode::kNormal);
        }
    }
    const bool back = leave_select_mode(name, services) == kStatusDone;
    if (!back) {
        print_message(
            "Cable %s may still be in select mode: run cablewright with --cable and "
            "--leave-select-mode\n",
            name.c_str());
    }
    bool ok = programmed && back && verify_rom(name, pof.image, log);
    ok = remove_own_files(folder, temp_file, replaced) && ok;
    if (back) {
        remove_left_folders_of(name);
    }
    if (services.interrupt_requested()) {
        if (ok) {
            put_message(kUpdatedBeforeInterrupt);
        }
        return RunOutcome::kInterrupted;
    }
    return ok ? RunOutcome::kDone : RunOutcome::kFailed;
}

// A blank cable's serial from the range, taken through the history; a dry run only looks.
bool take_range_serial(const Options& options, const std::string& name, const PofImage& pof,
                       RunLog& log, std::optional<std::string>& serial) {
    std::vector<std::string> serials;
    std::string shortfall;
    if (!take_serials(log, *options.serials, pof.image, {name}, !options.dry_run, serials,
                      shortfall)) {
        return false;
    }
    if (serials.empty()) {
        print_message("%s\n", shortfall.c_str());
        return false;
    }
    serial = serials.front();
    return true;
}

// The end record, then "Finished" when all went well.
int end_run(RunLog& log, int status, RunOutcome outcome) {
    status = log_end(log, status, outcome);
    if (status == kStatusDone) {
        put_message("Finished\n");
    }
    return status;
}

}  // namespace

int reprogram_cable(const Options& options, const RunServices& services, RunLog* history) {
    RunLog none;
    RunLog& log = history != nullptr ? *history : none;
    log.serial_requested = options.serial;
    std::string name;
    if (!start_run(options.cable, "Reprogramming cable %s\n", log, name)) {
        return end_run(log, kStatusNoCable, RunOutcome::kFailed);
    }

    RomImage cable_image;
    int status = read_cable_rom(name.c_str(), cable_image);
    if (status != kStatusDone) {
        return end_run(log, status, RunOutcome::kFailed);
    }
    CableState state = assess_cable(cable_image, options.debug);
    // A dump that never arrived is not a finished run.
    if (!options.file) {
        if (!log_start(log, "show", &state.as_read, nullptr, nullptr)) {
            return kStatusFailed;
        }
        if (!services.standard_output_written()) {
            return end_run(log, kStatusFailed, RunOutcome::kFailed);
        }
        return end_run(log, kStatusDone, RunOutcome::kDone);
    }

    PofImage pof;
    if (!load_pof(options.file->c_str(), pof)) {
        return end_run(log, kStatusFailed, RunOutcome::kFailed);
    }
    const char* action = options.dry_run ? "dry-run" : state.blank ? "initialise" : "update";
    if (!log_start(log, action, &state.as_read, &*options.file, &pof)) {
        return kStatusFailed;
    }
    std::optional<std::string> serial = options.serial;
    if (options.serials && state.blank && !take_range_serial(options, name, pof, log, serial)) {
        return end_run(log, kStatusFailed, RunOutcome::kRefused);
    }
    Reconciliation decision =
        reconcile(&state, &pof, serial ? serial->c_str() : nullptr, options.force);
    if (!decision.reprogram) {
        return end_run(log, kStatusFailed, RunOutcome::kRefused);
    }
    log.merged = pof.image;
    // The last moment when a lost dump can still end the run with nothing changed.
    if (!services.standard_output_written()) {
        return end_run(log, kStatusFailed, RunOutcome::kFailed);
    }
    if (options.dry_run) {
        std::fputs("Dry run requested, terminating before making any changes\n", stdout);
        return log_end(log, kStatusDone, RunOutcome::kDone);
    }

    HeldCable held;
    RunOutcome refusal = RunOutcome::kFailed;
    if (!lock_for_change(name, services, held, refusal)) {
        return end_run(log, kStatusFailed, refusal);
    }
    // Armed only now: before the private folder exists nothing has changed, so until here an
    // interrupt ends the process as usual. It stays armed until the end record is written.
    services.arm_interrupt_guard();
    RunFolder folder;
    TempFile temp_file;
    bool written = services.make_run_folder(name, folder);
    if (!written) {
        print_message("Unable to write %s\n", kTempPofName);
    } else if (write_temp_pof(pof, folder.path, temp_file) == nullptr) {
        remove_run_folder(folder);
        written = false;
    }
    if (!written) {
        status = log_end(log, kStatusFailed, RunOutcome::kFailed);
        services.finish_interrupt_guard();
        return status;
    }
    RunOutcome outcome = update_in_select_mode(name, pof, decision.hardware_id, state.as_read, held,
                                               folder, temp_file, services, log);
    status = log_end(log, outcome == RunOutcome::kDone ? kStatusDone : kStatusFailed, outcome);
    // An interrupt can also end the wait for the history's lock. The guard stays until the last
    // line is out: a second interrupt must not end the run between the cleanup and its verdict.
    if (outcome == RunOutcome::kInterrupted || services.interrupt_requested()) {
        // An interrupt that came after the update, while its end record waited.
        if (outcome == RunOutcome::kDone) {
            put_message(kUpdatedBeforeInterrupt);
        }
        put_message("Interrupted\n");
        status = kStatusFailed;
    } else if (status == kStatusDone) {
        put_message("Finished\n");
    }
    services.finish_interrupt_guard();
    return status;
}

int leave_select_mode_run(const Options& options, const RunServices& services, RunLog* history) {
    RunLog none;
    RunLog& log = history != nullptr ? *history : none;
    std::string name;
    if (!start_run(options.cable, "Leaving select mode on cable %s\n", log, name)) {
        return end_run(log, kStatusNoCable, RunOutcome::kFailed);
    }
    // As in every run, the start record names a cable that was found.
    HWL_HARDWARE found{};
    if (options.cable && !find_named_cable(name.c_str(), found)) {
        return end_run(log, kStatusNoCable, RunOutcome::kFailed);
    }
    if (!log_start(log, "leave-select-mode", nullptr, nullptr, nullptr)) {
        return kStatusFailed;
    }
    HeldCable held;
    RunOutcome refusal = RunOutcome::kFailed;
    if (!lock_for_change(name, services, held, refusal)) {
        return end_run(log, kStatusFailed, refusal);
    }
    bool in_use = false;
    int status = leave_select_mode(name, services, &in_use);
    if (in_use) {
        print_message("Cable %s is in use by another program; nothing was changed\n", name.c_str());
        return end_run(log, kStatusFailed, RunOutcome::kRefused);
    }
    if (status == kStatusFailed) {
        print_message("Cable %s may still be in select mode\n", name.c_str());
    }
    if (status != kStatusDone) {
        return end_run(log, status, RunOutcome::kFailed);
    }
    remove_left_folders_of(name);
    RomImage cable_image;
    status = read_cable_rom(name.c_str(), cable_image);
    if (status != kStatusDone) {
        return end_run(log, status, RunOutcome::kFailed);
    }
    log.read_back = cable_image;
    CableState state = assess_cable(cable_image, options.debug);
    if (state.hardware_id == kJumperHardwareId) {
        services.prompt_jumpers(JumperMode::kNormal);
    }
    // End of input at the jumper screen, for one.
    if (services.interrupt_requested()) {
        status = log_end(log, kStatusFailed, RunOutcome::kInterrupted);
        put_message("Interrupted\n");
        return status;
    }
    if (!services.standard_output_written()) {
        return end_run(log, kStatusFailed, RunOutcome::kFailed);
    }
    return end_run(log, kStatusDone, RunOutcome::kDone);
}
