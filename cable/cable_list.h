// Listing the cables of this family with what their ROMs hold, for --list and --json.
#pragma once

#include <string>
#include <vector>

#include "cable/linkhub_client.h"
#include "image/rom_image.h"

// What reading one listed cable gave.
enum class ListedKind {
    kRom,         // the ROM was read: `rom` holds it
    kInUse,       // the chain is locked elsewhere
    kUnreadable,  // the ROM text is neither 512 hexadecimal digits nor "empty"
    kError,       // any other library failure: `error` holds its code
};

struct ListedCable {
    int number = 0;  // 1-based position in the server's full list; 0 when not from a list
    std::string name;
    bool updatable = false;  // the server offers it as a cable of this family that can be chosen
    ListedKind kind = ListedKind::kError;
    RomImage rom;              // kRom: as read, before fix-ups
    HWL_ERROR error = HWL_OK;  // kError: the library's result
};

// Lists every cable of this family the server(s) report, after the usual wait for a server with
// its progress line, each locked only while its ROM is read. Returns 0, or 12 after the message
// when there is no hardware or none of this family; `cables` then stays empty.
int list_attached_cables(std::vector<ListedCable>& cables);

// The same for the one cable `name`, numbered 1. Returns 0, or 12 after the message when the
// lookup fails.
int list_named_cable(const std::string& name, std::vector<ListedCable>& cables);

// True when the server offers the cable `name` as one of this family (the test selection makes);
// false, silently, when it does not or cannot be found.
bool offered_for_update(const std::string& name);
