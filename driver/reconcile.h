// The judgement of a POF file against the cable it is meant for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/pof_file.h"
#include "image/rom_image.h"

struct CableState {
    RomImage as_read;               // as read from the cable, before fix-ups
    RomImage image;                 // after fix-ups
    bool blank = false;             // the fixed-up image is all zero
    std::uint16_t version = 0;      // ZAN version of the fixed-up image
    std::uint16_t hardware_id = 0;  // hardware id of the fixed-up image
};

struct Reconciliation {
    bool reprogram = false;         // false: refused, after its message
    std::uint16_t hardware_id = 0;  // the id that decides on the jumper prompt
    bool not_newer = false;         // refused only because the file is not newer than the cable
};

// The state of a cable image after fix-ups; prints nothing.
CableState examine_cable(const RomImage& image);

// Prints the cable line to standard error: "Cable ROM is blank" or version, id and signature.
void print_cable_line(const CableState& state);

// Dumps and fixes up the cable image and prints the cable line.
CableState assess_cable(const RomImage& image, bool debug);

// Decides whether the cable may be programmed with the file and merges the cable's identity into
// it: *file gets the merged image, and cable->image takes the file's signature block when the
// cable has none. serial may be null. With `quiet` it prints nothing: no dumps, and each message
// line goes there, without its line end, in place of standard error.
Reconciliation reconcile(CableState* cable, PofImage* file, const char* serial, bool force,
                         std::vector<std::string>* quiet = nullptr);
