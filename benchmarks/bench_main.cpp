// cablewright_bench: runs the benchmarks inside a scratch folder, because the temporary POF file
// is always written to the working directory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "benchmarks/bench_support.h"
#include "testing/temp_folder.h"

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    const TempFolder scratch("cablewright-bench-");
    std::error_code ec;
    const std::filesystem::path home = std::filesystem::current_path(ec);
    if (scratch.path().empty() || (std::filesystem::current_path(scratch.path(), ec), ec)) {
        std::fputs("Unable to create a scratch folder\n", stderr);
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::current_path(home, ec);
    return 0;
}
