// Finding the cables the JTAG server(s) know and choosing the one suitable cable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cable/linkhub_client.h"

// Lists the cables, retrying for up to 80 attempts while no server answers and showing a
// progress line on standard error meanwhile. `count` and `list` are in-out (0 and empty on
// entry); `list` is regrown when the library asks for more room. Returns the last library
// result: 0, 2 when no server ever answered, or the library's failure.
HWL_ERROR scan_hardware(std::uint32_t& count, std::vector<HWL_HARDWARE>& list);

// The records of scan_hardware that the library filled, in its order. False, after "Error (%s)
// when scanning hardware" or "No JTAG hardware available", when there is none to look at.
bool scan_records(std::vector<HWL_HARDWARE>& records);

// True, with the cable's name in `name`, when exactly one suitable cable exists. Otherwise
// prints why (or lists the candidates) to standard error, returns false and leaves `name` as is.
bool select_cable(std::string& name);
