#include "common/message.h"
#include "handoff/interrupt.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<bool> interrupted{false};
// Manual-reset event, set once the run's cleanup is done.
HANDLE cleanup_done = nullptr;
// The thread that armed the guard, whose blocked read of a pipe is cut short by an interrupt
// (a console read ends by itself on Ctrl-C; a file read never blocks).
HANDLE run_thread = nullptr;

const char* acknowledgement = kInterruptAcknowledgement;

void note_interrupt() {
    if (!interrupted.exchange(true)) {
        std::fprintf(stderr, "%s%s\n", take_open_line() ? "\n" : "", acknowledgement);
    }
}

// Runs on a thread of its own that the system creates for each console event.
BOOL WINAPI on_console_event(DWORD event) {
    note_interrupt();
    if (run_thread != nullptr) {
        CancelSynchronousIo(run_thread);
    }
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            return TRUE;
        default:
            // Close, logoff and shutdown end the process as soon as this returns, so hold on
            // until the cable is back in normal mode; the system kills us after its own grace
            // period (about 5 s for close) regardless.
            if (cleanup_done != nullptr) {
                WaitForSingleObject(cleanup_done, INFINITE);
            }
            return TRUE;
    }
}

}  // namespace

void set_interrupt_acknowledgement(const char* text) {
    acknowledgement = text;
}

// The console delivers Ctrl-C to every process on it, the programmer included: nothing to set.
void prepare_signals() {}

void arm_interrupt_guard() {
    interrupted.store(false);
    if (run_thread == nullptr) {
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &run_thread,
                        0, FALSE, DUPLICATE_SAME_ACCESS);
    }
    if (cleanup_done == nullptr) {
        cleanup_done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    } else {
        ResetEvent(cleanup_done);
    }
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

void record_interrupt() {
    note_interrupt();
}

bool interrupt_requested() {
    return interrupted.load();
}

void finish_interrupt_guard() {
    if (cleanup_done != nullptr) {
        SetEvent(cleanup_done);
    }
}
