#include <cstdio>

#include "fuzz/quiet_output.h"

void quiet_output() {
    // glibc lets the standard streams be reassigned. libFuzzer captured the original stderr at
    // start-up and the sanitizers write to descriptor 2, so their reports still get through while
    // the product's messages and ROM dumps, printed through stdout and stderr, are dropped.
    std::FILE* null_device = std::fopen("/dev/null", "w");
    if (null_device != nullptr) {
        stdout = null_device;
        stderr = null_device;
    }
}
