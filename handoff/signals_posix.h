// What the POSIX process launch needs from the interrupt guard.
#pragma once

#include <sys/types.h>

// From now on each interrupt recorded is also sent, as the same signal, to process group
// group (0: to nobody). An interrupt already recorded is sent at once.
void forward_interrupts_to(pid_t group);

// In a freshly forked child: puts back every disposition the program changed to what it was
// started with. Async-signal-safe.
void restore_start_dispositions();
