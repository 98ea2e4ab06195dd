// The one way of touching a named cable: find it, lock it, read its ROM and/or switch select
// mode, unlock it.
#pragma once

#include <cstdint>

#include "common/exit_status.h"
#include "image/rom_image.h"

// What operate_cable does with the cable while it holds the lock.
enum class CableStep {
    kReadRom,          // read the ROM
    kEnterSelectMode,  // "InternalZanSelect" 1: the JTAG port reaches the cable's own device
    kLeaveSelectMode,  // "InternalZanSelect" 0: back to normal mode
};

// Waits `ms` milliseconds for the cable to settle after `step` switched its mode.
using SettlePause = void (*)(std::uint32_t ms, CableStep step);

// Finds the cable `name`, locks it, does `step` and unlocks it. kReadRom fills `rom_out`; a mode
// switch calls `pause` with 3000 ms while the chain is still locked. Prints the one message of a
// failure. Returns kStatusDone, kStatusFailed or kStatusNoCable.
int operate_cable(const char* name, CableStep step, RomImage* rom_out, SettlePause pause);

// operate_cable's mode switch for a caller that words a busy chain itself: when the chain lock
// fails because another program holds the chain, prints nothing, sets in_use and returns
// kStatusFailed.
int switch_unless_in_use(const char* name, CableStep step, SettlePause pause, bool& in_use);

// operate_cable's kReadRom.
int read_cable_rom(const char* name, RomImage& rom);
