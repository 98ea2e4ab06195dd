// An in-process stand-in for the hwl_ functions, for unit tests: scripted replies, injected
// failures and a log of every call. It behaves like a strict library: parameter values are never
// terminated and are followed by junk, undefined record bytes are non-zero, and parameter calls
// on an unlocked chain fail with 35.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cable/linkhub_client.h"

// One cable known to the fake server, with the failures it should report.
struct FakeCable {
    std::string name;
    std::uint32_t usable = 1;      // the word at offset 8
    std::uint32_t virtual_hw = 0;  // the word at offset 24
    std::string rom_text;          // value of "InternalEepromContents"
    HWL_ERROR find_result = HWL_OK;
    HWL_ERROR lock_result = HWL_OK;
    HWL_ERROR rom_result = HWL_OK;
    HWL_ERROR name_result = HWL_OK;
    HWL_ERROR select_result = HWL_OK;
    bool busy_waits = false;  // a failing lock_result first waits out the timeout, as a server does
    bool locked = false;      // state kept by the fake
    std::int64_t zan_select = -1;  // last value set for "InternalZanSelect", -1 for none
};

// One scripted reply of hwl_get_hardware.
struct ListReply {
    enum Kind { kAnswer, kTimeout, kFail } kind = kAnswer;
    HWL_ERROR code = HWL_OK;  // for kFail
    std::uint32_t count = 0;  // for kFail with 47: the count the library asks for
};

// The whole state of the fake library.
struct FakeLinkhub {
    std::vector<FakeCable> cables;
    std::vector<ListReply> list_script;  // consumed in order; kAnswer once it runs out
    std::size_t list_calls = 0;
    std::vector<std::string> log;  // one line per call, e.g. "lock USB-1 10000"
    HWL_OUTPUT_CALLBACK callback = nullptr;
};

// The fake's state; tests fill it before a call and inspect it afterwards.
FakeLinkhub& fake_linkhub();

// Forgets all cables, scripts and logged calls.
void reset_fake_linkhub();

// Appends a line to the call log, for test hooks that must be ordered among library calls.
void fake_linkhub_note(const std::string& line);

// A ROM text of 512 characters whose byte i is (i * step + first) modulo 256, upper case.
std::string fake_rom_text(std::uint8_t first, std::uint8_t step);

// Number of cables the fake still holds locked.
int fake_locked_chains();
