// Waiting for a number of milliseconds.
#pragma once

#include <cstdint>

// Blocks for `ms` milliseconds.
void pause_ms(std::uint32_t ms);
