// The history as a ledger at production scale: 100,000 records (a third each start, serial and
// end, with their ROM images and messages), read for one serial allocation and for the report.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "benchmarks/bench_support.h"
#include "driver/history.h"
#include "driver/history_report.h"
#include "driver/ledger.h"
#include "sim/pof_builder.h"

namespace {

constexpr int kRuns = 33334;  // three records each: about 100,000

std::string serial_number(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "A-%05d", n);
    return text;
}

// A scratch file removed when the program ends.
struct ScratchFile {
    std::string path;
    ~ScratchFile() {
        if (!path.empty()) {
            std::remove(path.c_str());
        }
    }
};

// A history as initialising runs leave it, every record about as long as a real one; one run in
// fifty ended without starting the programmer, so its serial is free again.
const std::string& history_path() {
    static const ScratchFile file{[] {
        const std::string rom(512, 'F');
        std::string name = "/tmp/cablewright-ledger-bench-XXXXXX";
        const int fd = mkstemp(&name[0]);
        if (fd < 0) {
            return std::string();
        }
        close(fd);
        std::ofstream out(name, std::ios::binary);
        for (int i = 0; i < kRuns; ++i) {
            char run[17];
            std::snprintf(run, sizeof run, "%016X", i);
            const std::string cable = "USB-" + std::to_string(i % 32) + " [1-1]";
            const bool unwritten = i % 50 == 0;
            const std::string time = "2026-12-07T13:58:02.417Z";
            out << R"({"record":"start","run":")" << run << R"(","time":")" << time
                << R"(","host":"lab-3","user":"ada","version":"0.1.0","pid":4711,"argv":)"
                << R"(["cablewright","--serials","A-00000..A-99999","--log","h.jsonl","-c",")"
                << cable << R"(","blank.pof"],"cwd":"/home/ada","cable":")" << cable
                << R"(","action":"initialise","serial_requested":null,"rom":")" << rom
                << R"(","zan_version":0,"hardware_id":0,"serial":"","product_name":"",)"
                << R"("signature":false,"file":{"path":"blank.pof","absolute_path":)"
                << R"("/home/ada/blank.pof","size":1062,"crc":"652E"}})" << '\n';
            out << R"({"record":"serial","run":")" << run << R"(","time":")" << time
                << R"(","cable":")" << cable << R"(","serial":")" << serial_number(i) << "\"}\n";
            out << R"({"record":"end","run":")" << run << R"(","time":")" << time
                << R"(","pid":4711,"cable":")" << cable << R"(","merged":")" << rom
                << R"(","read_back":)" << (unwritten ? "null" : "\"" + rom + "\"")
                << R"(,"status":0,"outcome":"done","messages":)"
                << R"(["Reprogramming cable )" << cable << R"(","Cable ROM is blank",)"
                << R"("POF ZAN_version=4, hardware_id=2, signature present",)"
                << R"("vantor_pgm -c \")" << cable
                << R"(\" -m jtag -o \"p;cablewright.tmp.pof\""],)"
                << R"("serial_after":")" << (unwritten ? "" : serial_number(i))
                << R"(","zan_version_after":4,"hardware_id_after":2,"programmer_started":)"
                << (unwritten ? "false" : "true") << "}\n";
        }
        return name;
    }()};
    return file.path;
}

// What one run does for a blank cable: under the history's lock, read it whole and find the
// lowest free serial (recording nothing, so that every pass sees the same history).
void BM_LedgerAllocation(benchmark::State& state) {
    RomImage file_image;
    set_text(file_image, kSerialOffset, "A-#####");
    const char* const argv[] = {"cablewright"};
    history_path();  // written once, outside the measurement
    for (auto _ : state) {
        RunLog log;
        std::vector<std::string> serials;
        std::string shortfall;
        if (!open_run_log(log, history_path(), 1, argv, nullptr) ||
            !take_serials(log, "A-00000..A-99999", file_image, {"USB-1 [1-1]"}, false, serials,
                          shortfall) ||
            serials != std::vector<std::string>{serial_number(0)}) {
            state.SkipWithError("the lowest free serial is the one a run left unwritten");
        }
        log_end(log, 0, RunOutcome::kDone);
    }
}

// The whole report, as --history prints it, into the null device.
void BM_HistoryReport(benchmark::State& state) {
    Options options;
    options.history = history_path();  // written once, outside the measurement
    for (auto _ : state) {
        SavedOutput saved = silence_output();
        const int status = report_history(options);
        restore_output(saved);
        if (status != 0) {
            state.SkipWithError("the report failed");
        }
    }
}

BENCHMARK(BM_LedgerAllocation)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryReport)->Unit(benchmark::kMillisecond);

}  // namespace
