// vantor_pgm: the simulated command-line programmer. It programs a POF file's ZAN logic and
// ROM bytes into a bench cable that is in select mode, reaching the cable through the stand-in
// linkhub_client library. Bench settings make it misbehave on purpose (see bench.h).
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "cable/linkhub_client.h"
#include "image/little_endian.h"
#include "image/pof_file.h"
#include "sim/bench.h"

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr std::uint32_t kFindTimeoutMs = 6000;
constexpr std::uint32_t kLockTimeoutMs = 10000;
constexpr char kProgramPrefix[] = "p;";
constexpr char kUsageText[] = "Usage: vantor_pgm -c CABLE -m jtag -o p;FILE\n";

struct Job {
    std::string cable;
    std::string file;
};

// Accepts exactly the three options, each once with its value, in any order.
bool parse_job(int argc, char** argv, Job& job) {
    if (argc != 7) {
        return false;
    }
    bool have_cable = false, have_mode = false, have_operation = false;
    for (int i = 1; i < argc; i += 2) {
        std::string option = argv[i];
        std::string value = argv[i + 1];
        if (option == "-c" && !have_cable && !value.empty()) {
            job.cable = value;
            have_cable = true;
        } else if (option == "-m" && !have_mode && value == "jtag") {
            have_mode = true;
        } else if (option == "-o" && !have_operation && value.size() > 2 &&
                   value.compare(0, 2, kProgramPrefix) == 0) {
            job.file = value.substr(2);
            have_operation = true;
        } else {
            return false;
        }
    }
    return true;
}

// Carries out a misbehaviour that happens before any work. Returns true when the run should
// go on, false with status set when it ends here.
bool misbehave_early(const ProgrammerBehaviour& behaviour, int& status) {
    switch (behaviour.mode) {
        case ProgrammerMode::kExit:
            std::fprintf(stderr, "vantor_pgm: failing on purpose with status %u\n",
                         static_cast<unsigned>(behaviour.value));
            status = static_cast<int>(behaviour.value);
            return false;
        case ProgrammerMode::kHang:
            std::this_thread::sleep_for(std::chrono::seconds(behaviour.value));
            return true;
        case ProgrammerMode::kSegv:
            // A sanitizer's own SEGV handler would turn the signal into an ordinary exit.
            std::signal(SIGSEGV, SIG_DFL);
            std::raise(SIGSEGV);
            status = kFailed;
            return false;
        case ProgrammerMode::kAbort:
            std::abort();
        default:
            return true;
    }
}

// Writes the file into the locked cable: ZAN logic, then the ROM bytes unless told otherwise.
int program_locked(const Job& job, const PofImage& pof, const ProgrammerBehaviour& behaviour) {
    std::string bench = bench_dir_from_environment();
    CableRecord cable;
    int id = 0;
    if (load_named_cable(bench, job.cable, cable, &id) != LoadResult::kLoaded) {
        std::fprintf(stderr, "vantor_pgm: cable \"%s\" vanished\n", job.cable.c_str());
        return kFailed;
    }
    if (!cable.select_mode) {
        std::fprintf(stderr,
                     "vantor_pgm: wrong device on the JTAG chain of \"%s\": expected its ZAN "
                     "device (is the cable in select mode?)\n",
                     job.cable.c_str());
        return kFailed;
    }
    RomImage rom = pof.image;
    bool write_rom = behaviour.mode != ProgrammerMode::kSkipRom;
    if (behaviour.mode == ProgrammerMode::kWrongByte) {
        rom.bytes[behaviour.value] = static_cast<std::uint8_t>(~rom.bytes[behaviour.value]);
    }
    std::uint16_t crc = read_u16(pof.bytes.get() + pof.crc_pos);
    std::printf("Programming \"%s\" through cable \"%s\"\n", job.file.c_str(), job.cable.c_str());
    bool ok = update_cable(bench, id, [&](CableRecord& r) {
        r.times_programmed += 1;
        r.zan_version = zan_version(pof.image);
        r.zan_crc = crc;
        if (write_rom) {
            r.rom = rom;
            r.rom_written = true;
        }
    });
    if (!ok) {
        return kFailed;
    }
    std::printf("  ZAN logic version %u programmed (checksum 0x%04X)\n", zan_version(pof.image),
                crc);
    std::fputs(write_rom ? "  ROM: 256 bytes programmed\n" : "  ROM: left unchanged\n", stdout);
    std::printf("Programming successful\n");
    return kDone;
}

int program(const Job& job, const ProgrammerBehaviour& behaviour) {
    PofImage pof;
    if (!load_pof(job.file.c_str(), pof)) {
        return kFailed;
    }
    HWL_HARDWARE hardware;
    HWL_ERROR error = hwl_find_hardware(job.cable.c_str(), &hardware, kFindTimeoutMs);
    if (error == HWL_NO_SUCH_HARDWARE) {
        std::fprintf(stderr, "vantor_pgm: no cable named \"%s\"\n", job.cable.c_str());
        return kFailed;
    }
    if (error != HWL_OK) {
        std::fprintf(stderr, "vantor_pgm: error %u when looking for cable \"%s\"\n",
                     static_cast<unsigned>(error), job.cable.c_str());
        return kFailed;
    }
    error = hwl_lock_chain(hardware.chain, kLockTimeoutMs);
    if (error != HWL_OK) {
        std::fprintf(stderr, "vantor_pgm: error %u when locking the chain of \"%s\"\n",
                     static_cast<unsigned>(error), job.cable.c_str());
        return kFailed;
    }
    int status = program_locked(job, pof, behaviour);
    hwl_unlock_chain(hardware.chain);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Job job;
    if (!parse_job(argc, argv, job)) {
        std::fputs(kUsageText, stderr);
        return kUsage;
    }
    BenchSettings settings;
    std::string bench = bench_dir_from_environment();
    if (bench_exists(bench) && !load_settings(bench, settings)) {
        return kFailed;
    }
    int status = kDone;
    if (!misbehave_early(settings.programmer, status)) {
        return status;
    }
    status = program(job, settings.programmer);
    std::fflush(stdout);
    return status;
}
