// The text form of bench files: key=value lines, one field each, '#' lines ignored. Texts are
// escaped so that any bytes survive: "\\" is a backslash, "\xHH" any byte; everything from 0x20
// to 0x7E but the backslash stands for itself.
#pragma once

#include <cstdint>
#include <string>

#include "sim/bench.h"

enum class FieldResult { kOk, kUnknownKey, kBadValue };

// text with every byte outside 0x20..0x7E, and the backslash, escaped.
std::string escape_text(const std::string& text);

// The bytes escape_text stands for; false for a malformed escape or one that gives a zero byte.
bool unescape_text(const std::string& text, std::string& out);

// The ROM as 512 upper-case hexadecimal digits, byte 0 first.
std::string rom_to_hex(const RomImage& image);

// True when text is a decimal number or "0x" and hexadecimal digits that fits 32 bits.
bool parse_number(const std::string& text, std::uint32_t& value);

// "CODE" or "CODE once".
std::string format_forced_error(const ForcedError& error);

// Inverse of format_forced_error.
bool parse_forced_error(const std::string& text, ForcedError& error);

// "normal", "exit N", "hang SECONDS", "segv", "abort", "skip-rom" or "wrong-byte OFFSET".
std::string format_programmer(const ProgrammerBehaviour& behaviour);

// Inverse of format_programmer; a wrong-byte offset must lie inside the ROM.
bool parse_programmer(const std::string& text, ProgrammerBehaviour& behaviour);

// Sets one field of a cable file from its key and text.
FieldResult apply_cable_field(CableRecord& record, const std::string& key,
                              const std::string& value);

// The cable file's content; parse_cable of it gives record back.
std::string format_cable(const CableRecord& record);

// Reads a cable file's content; prints "bench: PATH line N: ..." and returns false on a problem.
bool parse_cable(const std::string& text, const std::string& path, CableRecord& record);

// Sets one setting from its key and text; "message" appends one "LEVEL TEXT" message.
FieldResult apply_setting(BenchSettings& settings, const std::string& key,
                          const std::string& value);

// Returns one setting to its default ("message" drops all messages); false for an unknown key.
bool reset_setting(BenchSettings& settings, const std::string& key);

// The settings file's content; parse_settings of it gives settings back.
std::string format_settings(const BenchSettings& settings);

// Reads a settings file's content; prints "bench: PATH line N: ..." and returns false on a
// problem.
bool parse_settings(const std::string& text, const std::string& path, BenchSettings& settings);
