// Waiting for the cable to settle, with a seam so that tests can record pauses instead.
#pragma once

#include <cstdint>

// Blocks for `ms` milliseconds, or hands `ms` to the hook installed by set_pause_hook.
void pause_ms(std::uint32_t ms);

// A replacement for the real wait; receives the requested milliseconds.
using PauseHook = void (*)(std::uint32_t ms);

// For tests only: routes pause_ms to `hook`; nullptr restores the real wait.
void set_pause_hook(PauseHook hook);
