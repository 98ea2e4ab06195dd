#include "driver/cable_lock.h"

#include "common/sha256.h"

std::string cable_lock_file_name(const std::string& name) {
    // A digest, because a cable's name may hold any byte, a folder separator included.
    return "cablewright-" + sha256_hex(name) + ".lock";
}
