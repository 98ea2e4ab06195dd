// The bench: simulated cables and their settings, kept as small text files in one directory so
// that the stand-in library, the bench tool, the simulated programmer and tests share them.
//
// Layout of a bench directory:
//   settings.txt          bench-wide settings (key=value lines)
//   cable-NNNNNN.txt      one cable (key=value lines), NNNNNN its id; ids grow in order of addition
//   cable-NNNNNN.lock     the cable's chain lock (see file_lock.h)
//   bench.lock            held briefly around every read-modify-write of a cable
// Every file is replaced atomically (temporary file, then rename), so readers never see a torn
// file, whatever happens to the writer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/rom_image.h"

// A library result forced on one kind of call; code 0 forces nothing. A "once" fault clears
// itself after it fired.
struct ForcedError {
    std::uint32_t code = 0;
    bool once = false;
    std::uint32_t after = 0;  // calls of that kind that still succeed before it fires
};

struct CableFaults {
    ForcedError find;           // hwl_find_hardware on this cable's name
    ForcedError lock;           // hwl_lock_chain, returned at once instead of locking
    ForcedError rom_read;       // hwl_get_parameter "InternalEepromContents"
    ForcedError set_parameter;  // hwl_set_parameter
    ForcedError name;           // hwl_print_hardware_name
    bool has_rom_reply = false;
    std::string rom_reply;  // when has_rom_reply: the ROM query's value instead of the ROM
};

struct CableRecord {
    std::string name;          // any bytes but zero, any length
    bool rom_written = false;  // false: the ROM reads as "empty"
    RomImage rom;
    bool select_mode = false;            // "InternalZanSelect" last set to 1
    std::uint32_t usable = 1;            // the record word at offset 8
    std::uint32_t virtual_hw = 0;        // the record word at offset 24
    std::uint32_t times_programmed = 0;  // ZAN logic programmings by the programmer
    std::uint16_t zan_version = 0;       // ZAN version of the file programmed last
    std::uint16_t zan_crc = 0;           // stored checksum of the file programmed last
    CableFaults faults;
};

// How the simulated programmer misbehaves on purpose.
enum class ProgrammerMode {
    kNormal,
    kExit,       // exits at once with status `value`, touching nothing
    kHang,       // sleeps `value` seconds before doing anything
    kSegv,       // dies of SIGSEGV before doing anything
    kAbort,      // calls abort before doing anything
    kSkipRom,    // programs the ZAN logic but leaves the ROM as it was
    kWrongByte,  // programs ROM byte `value` inverted
};

struct ProgrammerBehaviour {
    ProgrammerMode mode = ProgrammerMode::kNormal;
    std::uint32_t value = 0;
};

// A message the library sends through the output callback.
struct LibraryMessage {
    std::uint32_t level = 0;
    std::string text;
};

struct BenchSettings {
    std::uint32_t wait_scale_percent = 100;   // library waits take this share of their timeout
    std::uint32_t server_after_attempts = 0;  // hwl_get_hardware calls per process that time out
    std::vector<LibraryMessage> messages;     // sent once per process, at its first list or find
    ProgrammerBehaviour programmer;
};

enum class LoadResult { kLoaded, kMissing, kFailed };

// The directory named by LINKHUB_BENCH; empty when the variable is unset or empty.
std::string bench_dir_from_environment();

// True when dir names an existing directory.
bool bench_exists(const std::string& dir);

// Creates dir (with its parents) and its settings file unless they exist. False after a message.
bool create_bench(const std::string& dir);

// Ids of the bench's cables, ascending, which is their order of addition. Empty when none.
std::vector<int> list_cables(const std::string& dir);

// Reads cable id. kMissing, silently, when there is no such cable; kFailed after a message.
LoadResult load_cable(const std::string& dir, int id, CableRecord& record);

// load_cable for the cable whose name is exactly name; its id goes to *id when given.
LoadResult load_named_cable(const std::string& dir, const std::string& name, CableRecord& record,
                            int* id = nullptr);

// Writes cable id atomically. False after a message.
bool save_cable(const std::string& dir, int id, const CableRecord& record);

// Adds a cable after the others; refuses an empty name or one in use. Its id goes to *id when
// given. False after a message.
bool add_cable(const std::string& dir, const CableRecord& record, int* id = nullptr);

// Removes the cable named name with its lock file. False after a message.
bool remove_cable(const std::string& dir, const std::string& name);

// Loads cable id, applies change, saves it, all under bench.lock so concurrent updates are not
// lost. False after a message (also when the cable is missing).
bool update_cable(const std::string& dir, int id, const std::function<void(CableRecord&)>& change);

// Reads the settings; defaults when the bench has no settings file. False after a message.
bool load_settings(const std::string& dir, BenchSettings& settings);

// Writes the settings atomically. False after a message.
bool save_settings(const std::string& dir, const BenchSettings& settings);

// The lock file that stands for cable id's JTAG chain.
std::string cable_lock_path(const std::string& dir, int id);
