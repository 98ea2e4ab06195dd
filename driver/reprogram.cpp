#include "driver/reprogram.h"

#include <cstdio>

#include "cable/cable_operation.h"
#include "cable/cable_read.h"
#include "cable/cable_select.h"
#include "cable/error_name.h"
#include "cable/linkhub_client.h"
#include "common/message.h"
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

// Returns the last try's result: kStatusDone once one succeeded.
int leave_select_mode(const std::string& name, const RunServices& services) {
    int result = kStatusFailed;
    for (int attempt = 1; attempt <= kLeaveSelectAttempts && result != kStatusDone; ++attempt) {
        if (attempt > 1) {
            services.wait(kLeaveSelectRetryMs);
        }
        result = operate_cable(name.c_str(), CableStep::kLeaveSelectMode, nullptr, services.pause);
    }
    return result;
}

// What every run does first: the library's own messages are shown from here on, the cable is
// the one named or the one suitable cable, and `heading` (with the cable's name) says what the
// run does to it. False, after its message, when no cable was chosen.
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
    return true;
}

// From the written temporary file to its deletion nothing ends the run early: the cable must
// never be left in select mode, nor the file left to block the next run.
RunOutcome update_in_select_mode(const std::string& name, const PofImage& pof, std::uint16_t id,
                                 TempFile& temp_file, const RunServices& services, RunLog& log) {
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
        if (!services.interrupt_requested()) {
            replaced = !temp_file_in_place(temp_file, kTempPofName);
            if (!replaced) {
                programmed = services.run_programmer(programmer_command(name, kTempPofName),
                                                     kProgrammerTimeoutMs);
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
    switch (remove_temp_file(temp_file, kTempPofName)) {
        case TempFileRemoval::kRemoved:
            break;
        case TempFileRemoval::kReplaced:
            // The other file is left alone: it is not ours to delete.
            if (!replaced) {
                print_message("Temporary file %s was replaced by another program\n", kTempPofName);
            }
            ok = false;
            break;
        case TempFileRemoval::kFailed:
            print_message("Unable to delete %s\n", kTempPofName);
            break;
    }
    if (services.interrupt_requested()) {
        return RunOutcome::kInterrupted;
    }
    return ok ? RunOutcome::kDone : RunOutcome::kFailed;
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
    // Its owner would delete the user's own file, and the refusal of a left-over temporary file
    // would tell the user to delete it.
    if (same_file(options.file->c_str(), kTempPofName)) {
        print_message("The file to program cannot be %s, the name of the tool's temporary file\n",
                      kTempPofName);
        return end_run(log, kStatusFailed, RunOutcome::kRefused);
    }
    Reconciliation decision =
        reconcile(&state, &pof, options.serial ? options.serial->c_str() : nullptr, options.force);
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

    // Armed only now: before the temporary file exists nothing has changed, so until here an
    // interrupt ends the process as usual. It stays armed until the end record is written.
    services.arm_interrupt_guard();
    TempFile temp_file;
    if (write_temp_pof(pof, temp_file) == nullptr) {
        status = log_end(log, kStatusFailed, RunOutcome::kFailed);
        services.finish_interrupt_guard();
        return status;
    }
    RunOutcome outcome =
        update_in_select_mode(name, pof, decision.hardware_id, temp_file, services, log);
    status = log_end(log, outcome == RunOutcome::kDone ? kStatusDone : kStatusFailed, outcome);
    // An interrupt can also end the wait for the history's lock.
    const bool interrupted = services.interrupt_requested();
    services.finish_interrupt_guard();
    if (outcome == RunOutcome::kInterrupted || interrupted) {
        put_message("Interrupted\n");
        return kStatusFailed;
    }
    if (status == kStatusDone) {
        put_message("Finished\n");
    }
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
    int status = leave_select_mode(name, services);
    if (status == kStatusFailed) {
        print_message("Cable %s may still be in select mode\n", name.c_str());
    }
    if (status != kStatusDone) {
        return end_run(log, status, RunOutcome::kFailed);
    }
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
    if (!services.standard_output_written()) {
        return end_run(log, kStatusFailed, RunOutcome::kFailed);
    }
    return end_run(log, kStatusDone, RunOutcome::kDone);
}
