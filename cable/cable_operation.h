// The one way of touching a named cable: find it, lock it, read its ROM and/or switch select
// mode, unlock it.
#pragma once

#include <cstdint>

#include "image/rom_image.h"

// Results of operate_cable; they double as the program's exit statuses.
constexpr int kCableOk = 0;
constexpr int kCableFailed = 8;     // lock, ROM read or mode switch failed
constexpr int kCableNotFound = 12;  // the cable lookup failed

// Finds the cable `name`, locks it, reads its ROM into `image_out` when given, sets select mode
// to `mode_on` when `switch_mode` (pausing 3000 ms while still locked), and unlocks it. Prints
// the one message of a failure. Returns kCableOk, kCableFailed or kCableNotFound.
int operate_cable(const char* name, bool switch_mode, bool mode_on, RomImage* image_out);
