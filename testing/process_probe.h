// Waiting, in tests, for what a thread or a process does, by looking at it repeatedly.
#pragma once

#include <functional>

// Asks done every few milliseconds until it says true or limit_ms have passed; returns its last
// answer.
bool wait_until(const std::function<bool()>& done, int limit_ms);

// Linux only: true once thread tid of this process sleeps in a read of fd, within limit_ms.
bool waiting_in_read(int tid, int fd, int limit_ms);

// POSIX only: true once process pid has ended (a zombie waiting for its parent counts as ended),
// within limit_ms.
bool process_gone(int pid, int limit_ms);
