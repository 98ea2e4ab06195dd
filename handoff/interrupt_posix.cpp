#include "handoff/interrupt.h"

#include <signal.h>

#include <atomic>

namespace {

// Lock-free atomics are safe to touch from a signal handler.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the interrupt flag must be lock-free");

extern "C" void record_interrupt(int) {
    interrupted.store(true);
}

}  // namespace

void arm_interrupt_guard() {
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

void clear_interrupt() {
    interrupted.store(false);
}
