#include "driver/reprogram.h"

#include <cstdio>

#include "cable/cable_operation.h"
#include "cable/cable_select.h"
#include "cable/error_name.h"
#include "cable/linkhub_client.h"
#include "driver/reconcile.h"
#include "handoff/programmer.h"
#include "image/pof_file.h"

// The cable operation's results are handed on as the run's exit statuses.
static_assert(kCableFailed == kStatusFailed && kCableNotFound == kStatusNoCable,
              "cable results double as exit statuses");

namespace {

// Cables with this hardware id need their daughter-card jumpers moved by hand.
constexpr std::uint16_t kJumperHardwareId = 1;

// Reads the ROM back after programming: the programmer's exit status alone does not prove
// that the identity reached the cable.
bool verify_rom(const std::string& name, const RomImage& expected) {
    RomImage read_back;
    if (read_cable_rom(name.c_str(), read_back) != kCableOk) {
        return false;
    }
    if (read_back != expected) {
        dump_rom("Read back", read_back);
        std::fputs("The cable's ROM does not match the programmed image\n", stderr);
        return false;
    }
    return true;
}

// From the written temporary file to its deletion nothing ends the run early: the cable must
// never be left in select mode, nor the file left to block the next run.
int update_in_select_mode(const std::string& name, const PofImage& pof, std::uint16_t id,
                          const char* temp_file, const RunServices& services) {
    bool ok = false;
    bool selected = false;
    bool programmed = false;
    if (!services.interrupt_requested()) {
        selected = operate_cable(name.c_str(), CableStep::kEnterSelectMode, nullptr,
                                 services.pause) == kCableOk;
    }
    // In normal mode the programmer would reach the board behind the cable, not the cable's
    // own device, so it runs only when select mode was entered.
    if (selected) {
        // After an interrupt nothing will be programmed: no call to move the jumpers for it.
        if (id == kJumperHardwareId && !services.interrupt_requested()) {
            services.prompt_jumpers(JumperMode::kReprogram);
        }
        // After an interrupt nothing is started; the run reports it once the cable is back.
        if (!services.interrupt_requested()) {
            programmed = services.run_programmer(programmer_command_line(name, temp_file),
                                                 kProgrammerTimeoutMs);
        }
        if (id == kJumperHardwareId) {
            services.prompt_jumpers(JumperMode::kNormal);
        }
    }
    bool back = operate_cable(name.c_str(), CableStep::kLeaveSelectMode, nullptr, services.pause) ==
                kCableOk;
    if (programmed && back) {
        ok = verify_rom(name, pof.image);
    }
    if (std::remove(temp_file) != 0) {
        std::fprintf(stderr, "Unable to delete %s\n", temp_file);
    }
    services.finish_interrupt_guard();
    if (services.interrupt_requested()) {
        std::fputs("Interrupted\n", stderr);
        return kStatusFailed;
    }
    return ok ? kStatusDone : kStatusFailed;
}

}  // namespace

int reprogram_cable(const std::optional<std::string>& cable, const std::optional<std::string>& file,
                    bool debug, bool force, bool dry_run, const std::optional<std::string>& serial,
                    const RunServices& services) {
    hwl_register_output_callback(print_library_message, nullptr);

    std::string name;
    if (cable) {
        name = *cable;
    } else if (!select_cable(name)) {
        return kStatusNoCable;
    }
    std::fprintf(stderr, "Reprogramming cable %s\n", name.c_str());

    RomImage cable_image;
    int status = read_cable_rom(name.c_str(), cable_image);
    if (status != kCableOk) {
        return status;
    }
    CableState state = assess_cable(cable_image, debug);
    // A dump that never arrived is not a finished run.
    if (!file) {
        if (!services.standard_output_written()) {
            return kStatusFailed;
        }
        std::fputs("Finished\n", stderr);
        return kStatusDone;
    }

    PofImage pof;
    if (!load_pof(file->c_str(), pof)) {
        return kStatusFailed;
    }
    Reconciliation decision = reconcile(&state, &pof, serial ? serial->c_str() : nullptr, force);
    if (!decision.reprogram) {
        return kStatusFailed;
    }
    // The last moment when a lost dump can still end the run with nothing changed.
    if (!services.standard_output_written()) {
        return kStatusFailed;
    }
    if (dry_run) {
        std::fputs("Dry run requested, terminating before making any changes\n", stdout);
        return kStatusDone;
    }

    // Armed only now: before the temporary file exists nothing has changed, so until here an
    // interrupt ends the process as usual.
    services.arm_interrupt_guard();
    const char* temp_file = write_temp_pof(pof);
    if (temp_file == nullptr) {
        services.finish_interrupt_guard();
        return kStatusFailed;
    }
    status = update_in_select_mode(name, pof, decision.hardware_id, temp_file, services);
    if (status == kStatusDone) {
        std::fputs("Finished\n", stderr);
    }
    return status;
}
