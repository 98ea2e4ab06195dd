// Throughput of the POF path: the checksum beside a plain memory copy, loading a file and
// writing the temporary file, on sizes from a small image to a large device's.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "benchmarks/bench_support.h"
#include "image/crc16.h"
#include "image/pof_file.h"
#include "testing/crc16_reference.h"

namespace {

// One buffer for every size, filled once: the largest case alone is 64 MiB.
const std::vector<std::uint8_t>& sample_bytes() {
    static const std::vector<std::uint8_t> bytes = pof_of_size(64 * kMiB, sample_image(3));
    return bytes;
}

void set_bytes_processed(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Crc16(benchmark::State& state) {
    const std::uint8_t* data = sample_bytes().data();
    const auto n = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(crc16_x25(data, n));
    }
    set_bytes_processed(state);
}

void BM_Crc16Bytewise(benchmark::State& state) {
    const std::uint8_t* data = sample_bytes().data();
    const auto n = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(crc16_x25_bytewise(data, n));
    }
    set_bytes_processed(state);
}

// The ceiling for any pass over the bytes on this machine.
void BM_Memcpy(benchmark::State& state) {
    const std::uint8_t* data = sample_bytes().data();
    const auto n = static_cast<std::size_t>(state.range(0));
    std::vector<std::uint8_t> target(n);
    for (auto _ : state) {
        std::memcpy(target.data(), data, n);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    set_bytes_processed(state);
}

void BM_LoadPof(benchmark::State& state) {
    const std::string& path = pof_file_of_size(static_cast<std::size_t>(state.range(0)));
    if (path.empty()) {
        state.SkipWithError("could not write the input file");
        return;
    }
    for (auto _ : state) {
        PofImage pof;
        if (!load_pof(path.c_str(), pof)) {
            state.SkipWithError("load_pof failed");
            break;
        }
        benchmark::DoNotOptimize(pof.image.bytes.data());
    }
    set_bytes_processed(state);
}

// Writing includes the fresh checksum; the file is removed each time, as the run removes it.
void BM_WriteTempPof(benchmark::State& state) {
    const std::string& path = pof_file_of_size(static_cast<std::size_t>(state.range(0)));
    PofImage pof;
    if (path.empty() || !load_pof(path.c_str(), pof)) {
        state.SkipWithError("could not prepare the input file");
        return;
    }
    for (auto _ : state) {
        TempFile file;
        const char* written = write_temp_pof(pof, ".", file);
        if (written == nullptr) {
            state.SkipWithError("write_temp_pof failed");
            break;
        }
        remove_temp_file(file, written);
    }
    set_bytes_processed(state);
}

// The whole file path of an update: load and check, write with a fresh checksum, remove.
void BM_LoadWriteTempPof(benchmark::State& state) {
    const std::string& path = pof_file_of_size(static_cast<std::size_t>(state.range(0)));
    if (path.empty()) {
        state.SkipWithError("could not write the input file");
        return;
    }
    for (auto _ : state) {
        PofImage pof;
        if (!load_pof(path.c_str(), pof)) {
            state.SkipWithError("load_pof failed");
            break;
        }
        put_rom_byte(pof, kSerialOffset, 'B');
        TempFile file;
        const char* written = write_temp_pof(pof, ".", file);
        if (written == nullptr) {
            state.SkipWithError("write_temp_pof failed");
            break;
        }
        remove_temp_file(file, written);
    }
    set_bytes_processed(state);
}

}  // namespace

BENCHMARK(BM_Crc16)->Arg(64 * kKiB)->Arg(1 * kMiB)->Arg(64 * kMiB);
BENCHMARK(BM_Crc16Bytewise)->Arg(64 * kKiB)->Arg(1 * kMiB)->Arg(64 * kMiB);
BENCHMARK(BM_Memcpy)->Arg(64 * kKiB)->Arg(1 * kMiB)->Arg(64 * kMiB);
BENCHMARK(BM_LoadPof)->Arg(1 * kMiB)->Arg(64 * kMiB)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteTempPof)
    ->Arg(1 * kMiB)
    ->Arg(64 * kMiB)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadWriteTempPof)
    ->Arg(1 * kMiB)
    ->Arg(64 * kMiB)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
