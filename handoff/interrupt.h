// Turning the user's interrupt into a request the run honours after its cleanup, as one
// platform service.
#pragma once

// Called first in main. POSIX: remembers every signal's disposition as the program was started
// with it (the programmer is started with those), gives SIGCHLD its default action and ignores
// SIGPIPE and SIGXFSZ, so that a failed write is an ordinary failure. Windows: nothing to do.
void prepare_signals();

// From now on the interrupt signals (Windows: Ctrl-C, Ctrl-Break, console close, logoff,
// shutdown) only record an interrupt; a blocked console read returns at once. On POSIX so does a
// fault signal (SIGABRT, SIGSEGV, ...) that another process sent; a real fault, or one this
// program raised, keeps its default action. A POSIX signal that was ignored when the program
// started stays ignored. Before this call the system's default
// behaviour applies. Starts with no interrupt recorded; the first one recorded prints
// kInterruptAcknowledgement as a line to standard error.
void arm_interrupt_guard();

// Replaces the line (without its line end, at most 200 characters) that the guard prints when
// it records an interrupt; for a program that stands for many runs. Called before arming it.
void set_interrupt_acknowledgement(const char* text);

// Records an interrupt that came by other means than a signal (end of input at a jumper screen),
// exactly as if the program had received it.
void record_interrupt();

// True once an interrupt was recorded while the guard was armed.
bool interrupt_requested();

// Marks the run's cleanup as done and its last line printed: from here on the interrupt signals act
// as the program was started with them. On Windows a console close that arrived meanwhile was held
// back until now (the system allows roughly 5 s before it ends the process anyway).
void finish_interrupt_guard();
