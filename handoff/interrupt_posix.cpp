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

// "\n", the acknowledgement and its line end, so that the handler writes the line in one call;
// from the first byte when it must end an open line (a countdown, a prompt), else from the second.
std::array<char, 203> acknowledgement{'\n'};
std::size_t acknowledgement_size = 0;  // both line ends included

// /dev/null, opened when the guard is armed. The handler puts it in place of standard input, so
// that a prompt whose read had not yet begun when the signal came still returns at once instead
// of waiting for ENTER (dup2 is async-signal-safe).
int quiet_input = -1;

// Dispositions as the program was started with them, for the signals it changes.
constexpr int kMaxSignal = 128;
struct sigaction start_action[kMaxSignal];
bool remembered[kMaxSignal];

// Every signal whose default would end the run with the cable in select mode; the fault signals
// are handled apart, and the job-control stops, which do not end anything, keep theirs.
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

// The signals of a program fault. Only one that another process sent (a watchdog, `timeout -s
// ABRT`) is an interrupt; a real fault, or one this program raised, keeps its default action.
constexpr int kFaultSignals[] = {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS};

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
        const std::size_t from = take_open_line() ? 0 : 1;
        (void)!write(STDERR_FILENO, acknowledgement.data() + from, acknowledgement_size - from);
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

extern "C" void on_fault_signal(int signal_number, siginfo_t* info, void*) {
    const bool sent =
        info != nullptr &&
        (info->si_code == SI_USER || info->si_code == SI_QUEUE || info->si_code == SI_TKILL) &&
        info->si_pid != getpid();
    if (sent) {
        // Passed on as SIGTERM: the programmer should end cleanly, not dump core.
        on_interrupt(SIGTERM);
        return;
    }
    // Raised again with the default action, it ends the program as soon as the handler returns
    // (also after a breakpoint trap, which would otherwise carry on past it).
    signal(signal_number, SIG_DFL);
    raise(signal_number);
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
    std::size_t size = 1;
    for (; *text != '\0' && size + 1 < acknowledgement.size(); ++size, ++text) {
        acknowledgement[size] = *text;
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
    for (int n : kFaultSignals) {
        remember(n);
        if (ignored_at_start(n)) {
            continue;
        }
        struct sigaction action {};
        action.sa_sigaction = on_fault_signal;
        sigfillset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO;
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
    for (int n : kFaultSignals) {
        sigaction(n, &start_action[n], nullptr);
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
