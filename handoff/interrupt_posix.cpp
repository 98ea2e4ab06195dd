#include "handoff/interrupt.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace {

// Lock-free atomics are safe to touch from a signal handler.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the interrupt flag must be lock-free");

// /dev/null, opened when the guard is armed. The handler puts it in place of standard input, so
// that a prompt whose read had not yet begun when the signal came still returns at once instead
// of waiting for ENTER (dup2 is async-signal-safe).
int quiet_input = -1;

extern "C" void record_interrupt(int) {
    interrupted.store(true);
    if (quiet_input >= 0) {
        dup2(quiet_input, STDIN_FILENO);
    }
}

}  // namespace

void arm_interrupt_guard() {
    interrupted.store(false);
    if (quiet_input < 0) {
        quiet_input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
    struct sigaction action {};
    action.sa_handler = record_interrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read blocked in the jumper prompt must fail with EINTR and return.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interrupt_requested() {
    return interrupted.load();
}

void finish_interrupt_guard() {}
