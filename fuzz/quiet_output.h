// Silencing what the code under test prints, in the libFuzzer build only.
#pragma once

// Sends the product's standard output and error to the null device, keeping the fuzzer's and the
// sanitizers' own reports visible. The replay build keeps every message.
void quiet_output();
