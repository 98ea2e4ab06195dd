// Runs a fuzz target over saved inputs without libFuzzer: every file named on the command line,
// and every file inside each folder named there, in name order. Exit status 0 when all inputs
// ran, 1 when none was found or one could not be read; a violated invariant stops the process.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz/fuzz_support.h"

namespace {

bool read_input(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The files to run, in a fixed order so that a failing replay is repeatable.
bool collect(const char* arg, std::vector<std::filesystem::path>& inputs) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(arg, ec);
    if (ec) {
        return false;
    }
    if (!std::filesystem::is_directory(path, ec)) {
        inputs.push_back(path);
        return true;
    }
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(path, ec)) {
        if (entry.is_regular_file(ec)) {
            found.push_back(entry.path());
        }
    }
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return !ec;
}

}  // namespace

int main(int argc, char** argv) {
    // Paths are made absolute first: a target may change the working directory when it starts.
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!collect(argv[i], inputs)) {
            std::fprintf(stderr, "Cannot list %s\n", argv[i]);
            return 1;
        }
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "Usage: %s <input file or folder>...\n", argv[0]);
        return 1;
    }
    LLVMFuzzerInitialize(&argc, &argv);
    for (const auto& path : inputs) {
        std::vector<std::uint8_t> bytes;
        if (!read_input(path, bytes)) {
            std::fprintf(stderr, "Cannot read %s\n", path.string().c_str());
            return 1;
        }
        std::fprintf(stderr, "Running %s\n", path.string().c_str());
        std::fflush(stderr);
        // Never a null pointer, not even for an empty input, as under libFuzzer.
        static const std::uint8_t kNothing = 0;
        LLVMFuzzerTestOneInput(bytes.empty() ? &kNothing : bytes.data(), bytes.size());
    }
    std::fprintf(stderr, "Ran %lu inputs\n", static_cast<unsigned long>(inputs.size()));
    return 0;
}
