// What every fuzz target shares: the libFuzzer entry points, the invariant check and a private
// working folder.
#pragma once

#include <cstddef>
#include <cstdint>

// Runs one input; libFuzzer and the replay driver call it. Always returns 0.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// Called once before the first input, by libFuzzer and by the replay driver. Returns 0.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

// Stops the process at once when an invariant does not hold, so that the fuzzer keeps the input.
inline void require(bool holds) {
    if (!holds) {
        __builtin_trap();
    }
}

// Makes a new empty folder under the system's temporary folder the working directory, and
// removes it when the process exits normally. Relative paths among the fuzzer's arguments
// (inputs, corpus folders, -dict=, -artifact_prefix= and the like) are made absolute first, and
// crash files still go to the original working directory. False when no folder could be made.
bool enter_private_folder(int* argc, char*** argv);
