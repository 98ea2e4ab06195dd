// The per-run work on the 256-byte ROM: the dump, the fix-ups and the judgement of a file.
#include <benchmark/benchmark.h>

#include <string>

#include "benchmarks/bench_support.h"
#include "driver/reconcile.h"
#include "image/pof_file.h"
#include "image/rom_image.h"
#include "sim/pof_builder.h"

namespace {

void BM_FormatRomDump(benchmark::State& state) {
    const RomImage image = sample_image(3);
    for (auto _ : state) {
        std::string dump = format_rom_dump("Cable", image);
        benchmark::DoNotOptimize(dump.data());
    }
}

// An old hardware-id-1 cable that takes every rewrite: product name and a short serial number.
void BM_FixUpRom(benchmark::State& state) {
    RomImage old = sample_image(3);
    set_u16(old, kHardwareIdOffset, 1);
    set_text(old, kProductOffset, "USB Kestrel++");
    set_text(old, kSerialOffset, "123");
    for (auto _ : state) {
        RomImage image = old;
        fix_up_rom(image);
        benchmark::DoNotOptimize(image.bytes.data());
    }
}

// An update to a newer version: two dumps, the summary line and the merge of 0xE0 bytes, with
// output going to the null device. Each pass starts from a fresh copy of the small file.
void BM_Reconcile(benchmark::State& state) {
    const std::string& path = pof_file_of_size(2 * kKiB);
    PofImage loaded;
    if (path.empty() || !load_pof(path.c_str(), loaded)) {
        state.SkipWithError("could not prepare the input file");
        return;
    }
    SavedOutput saved = silence_output();
    const CableState cable = assess_cable(sample_image(2), false);
    bool refused = false;
    for (auto _ : state) {
        CableState judged = cable;
        PofImage pof = clone_pof(loaded);
        refused = refused || !reconcile(&judged, &pof, nullptr, false).reprogram;
        benchmark::DoNotOptimize(pof.bytes.get());
    }
    restore_output(saved);
    if (refused) {
        state.SkipWithError("reconcile refused the update");
    }
}

}  // namespace

BENCHMARK(BM_FormatRomDump);
BENCHMARK(BM_FixUpRom);
BENCHMARK(BM_Reconcile);
