// cablewright_peak_rss: the peak resident memory of loading a POF file and writing the temporary
// file, measured in a freshly started process of its own, like a real run, so that nothing else
// this tool did counts. Usage:
//   cablewright_peak_rss [MiB...]   (default 64)
// Exits 1 when a peak exceeds the file size plus kAllowanceMiB.
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "benchmarks/bench_support.h"
#include "image/pof_file.h"
#include "sim/pof_builder.h"
#include "testing/temp_folder.h"

namespace {

// What the whole process may use beyond the file's own bytes.
constexpr long kAllowanceMiB = 4;

constexpr char kInputName[] = "input.pof";

// The child's exit status; 1 when it failed.
int write_input(std::size_t size) {
    return write_file(kInputName, pof_of_size(size, sample_image(3))) ? 0 : 1;
}

int load_and_write() {
    PofImage pof;
    if (!load_pof(kInputName, pof)) {
        return 1;
    }
    put_rom_byte(pof, kSerialOffset, 'B');
    TempFile file;
    const char* written = write_temp_pof(pof, ".", file);
    if (written == nullptr) {
        return 1;
    }
    remove_temp_file(file, written);
    return 0;
}

// The measured processes are this program again, started with one of these words.
constexpr char kLoadWriteWord[] = "--load-write";
constexpr char kIdleWord[] = "--idle";

// Runs work in a forked child; true when it exited 0.
template <typename Work>
bool in_child(Work work) {
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        _exit(work());
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Starts this program afresh with `word`; true when it exited 0, with its peak resident set in
// KiB. The small forked copy before the exec does not add to the peak, which is a maximum.
bool measured_run(const char* word, long& peak_kib) {
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        execl("/proc/self/exe", "cablewright_peak_rss", word, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid) {
        return false;
    }
    peak_kib = usage.ru_maxrss;  // Linux reports KiB
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], kLoadWriteWord) == 0) {
        return load_and_write();
    }
    if (argc == 2 && std::strcmp(argv[1], kIdleWord) == 0) {
        return 0;
    }
    const TempFolder scratch("cablewright-rss-");
    std::error_code ec;
    if (scratch.path().empty() || (std::filesystem::current_path(scratch.path(), ec), ec)) {
        std::fputs("Unable to create a scratch folder\n", stderr);
        return 1;
    }
    long baseline_kib = 0;
    measured_run(kIdleWord, baseline_kib);

    int status = 0;
    for (int i = 1; i < argc || i == 1; ++i) {
        long mib = i < argc ? std::strtol(argv[i], nullptr, 10) : 64;
        if (mib < 1 || mib > 4096) {
            std::fprintf(stderr, "Not a size in MiB: %s\n", argv[i]);
            status = 1;
            continue;
        }
        const std::size_t size = static_cast<std::size_t>(mib) * kMiB;
        long peak_kib = 0;
        if (!in_child([size] { return write_input(size); }) ||
            !measured_run(kLoadWriteWord, peak_kib)) {
            std::fprintf(stderr, "Load and write of a %ld MiB file failed\n", mib);
            status = 1;
            continue;
        }
        const long over_kib = peak_kib - mib * 1024;
        const bool within = over_kib <= kAllowanceMiB * 1024;
        std::printf(
            "load_pof + write_temp_pof, %ld MiB file: peak RSS %.1f MiB = file + %.1f MiB "
            "(this tool idle: %.1f MiB); limit file + %ld MiB: %s\n",
            mib, peak_kib / 1024.0, over_kib / 1024.0, baseline_kib / 1024.0, kAllowanceMiB,
            within ? "met" : "EXCEEDED");
        if (!within) {
            status = 1;
        }
        std::remove(kInputName);
    }
    std::filesystem::current_path("/", ec);
    return status;
}
