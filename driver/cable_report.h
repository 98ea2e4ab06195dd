// How listed cables are shown: one text line each, or one JSON document for them all.
#pragma once

#include <string>
#include <vector>

#include "cable/cable_list.h"

// The image as 512 upper-case hex digits, byte 0 first.
std::string rom_hex(const RomImage& image);

// The cable's line in a --list table, ending in "\n": "N) name: " and what its ROM holds after
// fix-ups, "blank", "in use", "unreadable ROM" or "error (text)". Control bytes in the name and
// the ROM's texts are shown as \xNN.
std::string cable_list_line(const ListedCable& cable);

// The cable as one JSON object (no line end); "number" is null when the cable has none.
std::string cable_json(const ListedCable& cable);

// {"cables":[...]} with one object per line, ending in "\n"; {"cables":[]} for none.
std::string cables_json_document(const std::vector<ListedCable>& cables);

// text with each control byte shown as \xNN, so that a line of it stays one line and no escape
// sequence from a cable or a history reaches the terminal.
std::string visible_text(const std::string& text);
