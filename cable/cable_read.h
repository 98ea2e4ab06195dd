// Reading a cable through the client library: the one lookup, name read and locked ROM read that
// showing, choosing and listing cables share, with the limits they share.
#pragma once

#include <cstdint>
#include <string>

#include "cable/linkhub_client.h"
#include "image/rom_image.h"

constexpr std::uint32_t kFindTimeoutMs = 6000;   // a cable lookup by name
constexpr std::uint32_t kLockTimeoutMs = 10000;  // a chain lock, unless a listing says otherwise
constexpr std::uint32_t kNameCapacity = 512;     // a cable's printed name, in bytes

// True for a record of this family that selection may consider (the library's two words).
bool in_family(const HWL_HARDWARE& record);

// How much of the ROM text a read asks for: choosing a cable only checks that the query answers,
// with the capacity the library's servers are known to answer on every such cable.
enum class RomQuery {
    kWhole,  // all 512 characters, decoded into the image
    kProbe,  // a capacity of 64; the value is not looked at
};

// What reading a cable's ROM under its chain lock gave.
struct RomReading {
    HWL_ERROR locked = HWL_OK;       // the lock's result; when it failed nothing else was tried
    std::uint32_t lock_wait_ms = 0;  // how long taking (or failing to take) the lock took
    HWL_ERROR read = HWL_OK;         // the parameter read's result
    bool decoded =
        false;  // kWhole, and the text was 512 hexadecimal digits or "empty": `rom` holds it
};

// Locks chain (waiting up to lock_timeout_ms), reads "InternalEepromContents" as query says,
// unlocks it and decodes the text into rom. Prints nothing: each caller words its own failure.
RomReading read_rom_under_lock(HWL_CHAIN chain, std::uint32_t lock_timeout_ms, RomQuery query,
                               RomImage& rom);

// True for the lock results that mean another program holds the chain.
bool chain_in_use(HWL_ERROR locked);

// Finds the cable `name`. False, after "Unable to find jtag cable \"%s\"\n" or "Error (%s) when
// scanning hardware\n", when the lookup fails.
bool find_named_cable(const char* name, HWL_HARDWARE& record);

// The printed name of chain's cable in name; the library's failure otherwise, name then empty.
HWL_ERROR read_cable_name(HWL_CHAIN chain, std::string& name);
