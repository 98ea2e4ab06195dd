#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <vector>

#include "common/message.h"
#include "handoff/interrupt.h"
#include "handoff/signals_posix.h"

namespace {

// Lock-free atomics are safe to touch from a signal handler.
std::atomic<bool> interrupted{false};
std::atomic<int> last_signal{0};
std::atomic<pid_t> forward_group{0};
bool armed = false;
static_assert(std::atomic<bool>::is_always_lock_free, "the interrupt flag must be lock-free");
static_assert(std::atomic<pid_t>::is_always_lock_free, "the group id must be lock-free");

// The acknowledgement and its line end, so that the handler writes the line in one call.
std::array<char, 202> acknowledgement{};
std::size_t acknowledgement_size = 0;

// /dev/null, opened when the guard is armed. The handler puts it in place of standard input, so
// that a prompt whose read had not yet begun when the signal came still returns at once instead
// of waiting for ENTER (dup2 is async-signal-safe).
int quiet_input = -1;

// Dispositions as the program was started with them, for the signals it changes.
constexpr int kMaxSignal = 128;
struct sigaction start_action[kMaxSignal];
bool remembered[kMaxSignal];

// Every signal whose default would end the run with the cable in select mode; faults keep
// theirs, and so do the job-control stops, which do not end anything.
std::vector<int> interrupt_signals() {
    std::vector<int> list{SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2,
                          SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGIO};
#ifdef SIGPWR
    list.push_back(SIGPWR);
#endif
#ifdef SIGSTKFLT
    list.push_back(SIGSTKFLT);
#endif
    for (int n = SIGRTMIN; n <= SIGRTMAX; ++n) {
        list.push_back(n);
    }
    return list;
}

void remember(int signal_number) {
    if (signal_number < kMaxSignal && !remembered[signal_number]) {
        sigaction(signal_number, nullptr, &start_action[signal_number]);
        remembered[signal_number] = true;
    }
}

bool ignored_at_start(int signal_number) {
    return start_action[signal_number].sa_handler == SIG_IGN;
}

void set_disposition(int signal_number, void (*handler)(int)) {
    remember(signal_number);
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
}

void note_interrupt(int signal_number) {
    if (!interrupted.exchange(true)) {
        if (acknowledgement_size == 0) {
            set_interrupt_acknowledgement(kInterruptAcknowledgement);
        }
        (void)!write(STDERR_FILENO, acknowledgement.data(), acknowledgement_size);
    }
    last_signal.store(signal_number);
}

extern "C" void on_interrupt(int signal_number) {
    const int saved_errno = errno;
    note_interrupt(signal_number);
    if (quiet_input >= 0) {
        dup2(quiet_input, STDIN_FILENO);
    }
    const pid_t group = forward_group.load();
    if (group > 0) {
        kill(-group, signal_number);
    }
    errno = saved_errno;
}

}  // namespace

void prepare_signals() {
    for (int n : interrupt_signals()) {
        remember(n);
    }
    set_disposition(SIGCHLD, SIG_DFL);
    set_disposition(SIGPIPE, SIG_IGN);
    set_disposition(SIGXFSZ, SIG_IGN);
}

void set_interrupt_acknowledgement(const char* text) {
    std::size_t size = 0;
    for (; text[size] != '\0' && size + 2 < acknowledgement.size(); ++size) {
        acknowledgement[size] = text[size];
    }
    acknowledgement[size] = '\n';
    acknowledgement_size = size + 1;
}

void arm_interrupt_guard() {
    if (acknowledgement_size == 0) {
        set_interrupt_acknowledgement(kInterruptAcknowledgement);
    }
    armed = true;
    interrupted.store(false);
    last_signal.store(0);
    if (quiet_input < 0) {
        quiet_input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
    for (int n : interrupt_signals()) {
        remember(n);
        if (ignored_at_start(n)) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = on_interrupt;
        // One handler at a time: the acknowledgement and the forwarding stay whole.
        sigfillset(&action.sa_mask);
        // No SA_RESTART: a read blocked in the jumper prompt must fail with EINTR and return.
        action.sa_flags = 0;
        sigaction(n, &action, nullptr);
    }
}

void record_interrupt() {
    note_interrupt(SIGINT);
}

bool interrupt_requested() {
    return interrupted.load();
}

void finish_interrupt_guard() {
    armed = false;
    for (int n : interrupt_signals()) {
        if (remembered[n]) {
            sigaction(n, &start_action[n], nullptr);
        }
    }
}

void forward_interrupts_to(pid_t group) {
    forward_group.store(group);
    // An interrupt between the last check and the programmer's start must still reach it.
    if (group > 0 && armed && interrupted.load()) {
        kill(-group, last_signal.load() > 0 ? last_signal.load() : SIGINT);
    }
}

void restore_start_dispositions() {
    for (int n = 1; n < kMaxSignal; ++n) {
        if (remembered[n]) {
            sigaction(n, &start_action[n], nullptr);
        }
    }
}
