// Turning the user's interrupt into a request the run honours after its cleanup, as one
// platform service.
#pragma once

// From now on SIGINT and SIGTERM (Windows: Ctrl-C, Ctrl-Break, console close, logoff, shutdown)
// only record an interrupt; a blocked console read returns at once. Before this call the
// system's default behaviour applies. Starts with no interrupt recorded.
void arm_interrupt_guard();

// True once an interrupt was recorded while the guard was armed.
bool interrupt_requested();

// Marks the run's cleanup as done. On Windows a console close that arrived meanwhile was held
// back until now (the system allows roughly 5 s before it ends the process anyway).
void finish_interrupt_guard();
